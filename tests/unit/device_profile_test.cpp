// The phone profiles: what each sets, the files they give when read back with FFmpeg, and the
// long M4R question that both front ends ask before a batch.

#include "engine/conversion_settings.h"
#include "engine/device_profile.h"
#include "engine/long_ringtone_check.h"
#include "engine/output_format.h"
#include "engine/routine_factory.h"
#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/ringtone_test_file.h"
#include "tests/unit/test_support.h"
#include "tests/unit/word_tables.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace velmora {
namespace {

using test::wavEntry;
using DeviceProfileOutput = test::SandboxTest;
using LongRingtoneTrim = test::SandboxTest;

// Each profile's file, converted from a source a phone might choke on (96 kHz, or stereo for
// the 8 kHz mono phone), read back by FFmpeg; settings outside the family stay as they were.
TEST_F(DeviceProfileOutput, EachProfileWritesWhatItsPhoneTakes) {
    if (!test::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    // The profile, the source's rate, the output and its fields as ffprobe reports them.
    using Case = std::tuple<const char*, int, const char*, const char*>;
    for (const auto& [word, sourceRate, output, expected] :
         {Case{"iphone", 96000, "hi.m4r", "codec_name=aac sample_rate=44100"},
          Case{"iphone", 48000, "mid.m4r", "codec_name=aac sample_rate=48000"},
          Case{"android", 96000, "a.ogg", "codec_name=vorbis sample_rate=44100"},
          Case{"feature-phone", 44100, "f.amr", "codec_name=amr_nb sample_rate=8000 channels=1"}}) {
        SCOPED_TRACE(::testing::Message() << word << " from " << sourceRate << " Hz");
        test::writeFileBytes(path("in.wav"), test::toneWav(2, sourceRate, 16, 1.0, 440, 660));
        ConversionSettings settings{std::string()};
        settings.MP3BitRate = 192;
        settings.OGGSampleRate = 22050;
        settings.AMRMode = 0;
        applyDeviceProfile(*findDeviceProfile(word), settings);
        EXPECT_EQ(settings.MP3BitRate, 192);
        test::RecordingBatchView view;
        RoutineContext context{settings, view};
        EXPECT_TRUE(
            RoutineFactory::create(settings.OutputFormat)
                ->run(SourceKind::Wav, path("in.wav").string(), path(output).string(), context))
            << context.failureNote;
        const auto fields =
            test::ffprobeFields(path(output), "stream=codec_name,sample_rate,channels");
        for (const auto& [key, value] : test::pairs(expected))
            EXPECT_EQ(fields.count(key) ? fields.at(key) : "(none)", value) << key;
    }
    // 12.2 kbit/s: 32 bytes per 20 ms frame after the 6-byte magic.
    const auto amr = test::readFileBytes(path("f.amr"));
    ASSERT_GT(amr.size(), 6u);
    EXPECT_EQ(amr[6] & 0x78, 7 << 3);
    EXPECT_EQ((amr.size() - 6) % 32, 0u);
}

TEST(LongRingtoneQuestion, AsksOnlyAboutWholeM4rFilesPastFortySeconds) {
    SourceFile longSong = wavEntry("long.wav", 41), shortSong = wavEntry("short.wav", 12),
               unknown = wavEntry("unknown.wav"), trimmed = wavEntry("trimmed.wav", 200),
               edge = wavEntry("edge.wav", 40);
    trimmed.segment = Segment{0, 30000, 0, 0};
    const std::vector<SourceFile*> batch{&longSong, &shortSong, &unknown, &trimmed, &edge};
    EXPECT_EQ(LongRingtoneCheck::entriesToAsk(code(OutputFormat::M4r), batch),
              std::vector<SourceFile*>{&longSong});
    for (const OutputFormat other : {OutputFormat::M4a, OutputFormat::Ogg, OutputFormat::Mp3})
        EXPECT_TRUE(LongRingtoneCheck::entriesToAsk(code(other), batch).empty());
}

TEST_F(LongRingtoneTrim, TrimGivesTheSuggestedFadedPartAndStopsOnCancel) {
    test::writeFileBytes(path("song.wav"),
                         test::stretchesWav({{19.5, 0.05}, {0.5, 0.0}, {35.0, 0.7}, {5.0, 0.05}}));
    test::writeFileBytes(path("broken.wav"), std::vector<std::uint8_t>(64, 0x11));
    SourceFile song = wavEntry(path("song.wav").string());
    SourceFile broken = wavEntry(path("broken.wav").string());
    std::vector<std::size_t> scanned;
    const std::vector<SourceFile*> batch{&broken, &song};
    EXPECT_TRUE(LongRingtoneCheck::trimToSuggestedPart(batch, [&](std::size_t entry, int) {
        scanned.push_back(entry);
        return true;
    }));
    EXPECT_FALSE(broken.segment);
    EXPECT_EQ(song.segment, (Segment{19900, 30000, 500, 1500}));
    EXPECT_EQ(scanned.back(), 1u);

    song.segment.reset();
    EXPECT_FALSE(LongRingtoneCheck::trimToSuggestedPart(std::vector<SourceFile*>{&song},
                                                        [](std::size_t, int) { return false; }));
    EXPECT_FALSE(song.segment);
}

} // namespace
} // namespace velmora
