// The Windows Media routine, the runtime check of the batch driver and the WMA, WMV and ASF
// outputs of the command line: the automatic targets, the format asked of the catalogue,
// the channel kept for a mono format, the tags of each mode, and the failures that leave
// nothing behind. Outputs are read back with FFmpeg and a walk over the ASF header.

#include "engine/conversion_driver.h"
#include "engine/conversion_settings.h"
#include "engine/routine_factory.h"
#include "engine/wma_routine.h"
#include "tests/unit/asf_test_file.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace velmora {
namespace {

using Samples = std::vector<std::int16_t>;

constexpr int kWma = 7100;
constexpr int kWmv = 7200;
constexpr int kAsf = 7300;

Samples toneSamples(std::size_t frames, int rate, double amplitude) {
    Samples out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<std::int16_t>(
            amplitude * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i) / rate));
    return out;
}

// RMS of the mono PCM FFmpeg decodes, without the codec's lead-in and padded end.
double decodedRms(const std::vector<std::uint8_t>& bytes) {
    const std::size_t count = bytes.size() / 2;
    const std::size_t from = 8192;
    if (count < 2 * from)
        return -1.0;
    double sum = 0.0;
    for (std::size_t i = from; i < count - from; ++i) {
        const double s = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        sum += s * s;
    }
    return std::sqrt(sum / static_cast<double>(count - 2 * from));
}

class WmaRoutineTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
        settings.WMAID3TagType = 2;
    }

    void writeSource(const std::string& name, int channels, int rate, int bits, const Samples& left,
                     const Samples& right = {}) {
        std::vector<std::uint8_t> data;
        for (std::size_t i = 0; i < left.size(); ++i) {
            for (int c = 0; c < channels; ++c) {
                const std::int16_t s = c == 0 ? left[i] : right[i];
                if (bits == 8)
                    data.push_back(static_cast<std::uint8_t>(128 + s / 256));
                else
                    test::appendU16LE(data, static_cast<std::uint16_t>(s));
            }
        }
        test::writeFileBytes(path(name), test::pcmWavBytes(channels, rate, bits, data));
    }

    bool convert(const std::string& source, const std::string& output,
                 test::RecordingBatchView& view, const WmaFormatList* catalogue = nullptr,
                 SourceKind kind = SourceKind::Wav, int batchPosition = 1) {
        std::unique_ptr<ConversionRoutine> routine =
            catalogue ? std::make_unique<WmaRoutine>(*catalogue) : RoutineFactory::create(kWma);
        RoutineContext context{settings, view, batchPosition, {}};
        return routine->run(kind, path(source).string(), path(output).string(), context);
    }

    bool convert(const std::string& source, const std::string& output,
                 SourceKind kind = SourceKind::Wav, int batchPosition = 1) {
        test::RecordingBatchView view;
        return convert(source, output, view, nullptr, kind, batchPosition);
    }

    // Stream and container as ffprobe reports them.
    std::map<std::string, std::string> probe(const std::string& name) {
        std::string text;
        test::runCommand("ffprobe -v error -show_entries "
                         "stream=codec_name,sample_rate,channels,bit_rate:format=format_name "
                         "-of default=noprint_wrappers=1 " +
                             test::shellQuote(path(name).string()),
                         &text);
        std::map<std::string, std::string> fields;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            const std::string line = text.substr(start, end - start);
            if (const auto eq = line.find('='); eq != std::string::npos)
                fields[line.substr(0, eq)] = line.substr(eq + 1);
            start = end + 1;
        }
        return fields;
    }

    std::vector<std::uint8_t> decoded(const std::string& name, int channels) {
        std::filesystem::remove(path("decoded.raw"));
        test::runCommand("ffmpeg -v error -y -i " + test::shellQuote(path(name).string()) +
                         " -f s16le -ac " + std::to_string(channels) + " " +
                         test::shellQuote(path("decoded.raw").string()));
        return test::readFileBytes(path("decoded.raw"));
    }

    std::map<std::string, test::AsfDescriptor> attributes(const std::string& name,
                                                          test::AsfHeader& header) {
        const auto walked = test::walkAsfHeader(test::readFileBytes(path(name)));
        EXPECT_TRUE(walked);
        header = walked.value_or(test::AsfHeader{});
        std::map<std::string, test::AsfDescriptor> byName;
        for (const auto& d : header.descriptors)
            byName[d.name] = d;
        return byName;
    }

    ConversionSettings settings{std::string()};
};

// ---------------------------------------------------------------------------------------------
// "Auto"

struct AutoCase {
    int sourceRate;
    int channels;
    int rate;
    int bitRate;
};

class WmaAutomaticTarget : public test::SandboxTest,
                           public ::testing::WithParamInterface<AutoCase> {};

TEST_P(WmaAutomaticTarget, FollowsTheSourceRateAndChannels) {
    const AutoCase& c = GetParam();
    const WmaRoutine::Target target = WmaRoutine::automaticTarget(c.sourceRate, c.channels);
    EXPECT_EQ(target.sampleRate, c.rate);
    EXPECT_EQ(target.bitRate, c.bitRate);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WmaAutomaticTarget,
    ::testing::Values(AutoCase{8000, 1, 22050, 20000}, AutoCase{12000, 1, 22050, 20000},
                      AutoCase{12000, 2, 22050, 32000}, AutoCase{12001, 1, 44100, 32000},
                      AutoCase{12001, 2, 44100, 48000}, AutoCase{16000, 2, 44100, 48000},
                      AutoCase{16001, 1, 44100, 48000}, AutoCase{16001, 2, 44100, 64000},
                      AutoCase{24000, 2, 44100, 64000}, AutoCase{24001, 2, 44100, 96000},
                      AutoCase{32000, 2, 44100, 96000}, AutoCase{32001, 1, 44100, 48000},
                      AutoCase{32001, 2, 44100, 128000}, AutoCase{44100, 2, 44100, 128000},
                      AutoCase{44100, 1, 44100, 48000}, AutoCase{44101, 1, 44100, 48000},
                      AutoCase{44101, 2, 48000, 192000}, AutoCase{96000, 2, 48000, 192000}));

// ---------------------------------------------------------------------------------------------
// Outputs

TEST_F(WmaRoutineTest, TheThreeFormatsWriteTheSameAudioOnlyStream) {
    const std::size_t frames = 72000; // 1.5 s
    writeSource("in.wav", 2, 48000, 16, toneSamples(frames, 48000, 12000),
                toneSamples(frames, 48000, 6000));
    const std::vector<std::pair<int, std::string>> outputs = {
        {kWma, "out.wma"}, {kWmv, "out.wmv"}, {kAsf, "out.asf"}};
    for (const auto& [code, name] : outputs) {
        SCOPED_TRACE(name);
        auto routine = RoutineFactory::create(code);
        ASSERT_TRUE(routine);
        test::RecordingBatchView view;
        RoutineContext context{settings, view, 1, {}};
        ASSERT_TRUE(
            routine->run(SourceKind::Wav, path("in.wav").string(), path(name).string(), context));
        const auto fields = probe(name);
        EXPECT_EQ(fields.at("format_name"), "asf");
        EXPECT_EQ(fields.at("codec_name"), "wmav2");
        // "Auto" for a two-channel source above 44100 Hz.
        EXPECT_EQ(fields.at("sample_rate"), "48000");
        EXPECT_EQ(fields.at("channels"), "2");
        EXPECT_EQ(fields.at("bit_rate"), "192000");
        const double seconds = static_cast<double>(decoded(name, 2).size()) / 4 / 48000;
        EXPECT_GE(seconds, 1.5);
        EXPECT_LE(seconds, 1.5 + 2048.0 / 48000);
    }
    const auto wma = test::withoutAsfIdentity(test::readFileBytes(path("out.wma")));
    EXPECT_EQ(wma, test::withoutAsfIdentity(test::readFileBytes(path("out.wmv"))));
    EXPECT_EQ(wma, test::withoutAsfIdentity(test::readFileBytes(path("out.asf"))));
}

TEST_F(WmaRoutineTest, ManualSettingsAskTheCatalogueForTheirFormat) {
    writeSource("in.wav", 2, 44100, 16, toneSamples(66150, 44100, 9000),
                toneSamples(66150, 44100, 9000));
    settings.AutoDestWMAEncodingParam = 0;
    settings.WMASampleRate = 22050;
    settings.WMABitRate = 41000; // nearest offered: 40000
    settings.WMAChannels = 1;
    ASSERT_TRUE(convert("in.wav", "out.wma"));
    const auto fields = probe("out.wma");
    EXPECT_EQ(fields.at("sample_rate"), "22050");
    EXPECT_EQ(fields.at("channels"), "1");
    EXPECT_EQ(fields.at("bit_rate"), "40000");
    const double seconds = static_cast<double>(decoded("out.wma", 1).size()) / 2 / 22050;
    EXPECT_GE(seconds, 1.5);
    EXPECT_LE(seconds, 1.5 + 1024.0 / 22050);
}

TEST_F(WmaRoutineTest, AnEightBitMonoSourceIsFedAsItIs) {
    writeSource("in.wav", 1, 11025, 8, toneSamples(22050, 11025, 20000));
    ASSERT_TRUE(convert("in.wav", "out.wma"));
    const auto fields = probe("out.wma");
    // "Auto" for a mono source up to 12000 Hz: 20000 bit/s at 22050 Hz, whose nearest offer is
    // the encoder's lowest bit rate.
    EXPECT_EQ(fields.at("sample_rate"), "22050");
    EXPECT_EQ(fields.at("channels"), "1");
    EXPECT_EQ(fields.at("bit_rate"), "24000");
    const auto pcm = decoded("out.wma", 1);
    const double seconds = static_cast<double>(pcm.size()) / 2 / 22050;
    EXPECT_GE(seconds, 2.0);
    EXPECT_LE(seconds, 2.0 + 1024.0 / 22050);
    EXPECT_NEAR(decodedRms(pcm), 20000 / 256 * 256 / std::sqrt(2.0), 2000);
}

TEST_F(WmaRoutineTest, AMonoFormatKeepsTheChannelThatMonoTypeChooses) {
    const std::size_t frames = 88200;
    writeSource("in.wav", 2, 44100, 16, toneSamples(frames, 44100, 16000), Samples(frames, 0));
    settings.AutoDestWMAEncodingParam = 0;
    settings.WMASampleRate = 44100;
    settings.WMABitRate = 96000;
    settings.WMAChannels = 1;
    const double toneRms = 16000 / std::sqrt(2.0);
    const std::vector<std::pair<int, double>> cases = {
        {1, toneRms}, {2, 0.0}, {0, toneRms / 2}}; // left, right, the writer's average
    for (const auto& [monoType, expected] : cases) {
        SCOPED_TRACE(monoType);
        settings.MonoType = monoType;
        const std::string name = "mono" + std::to_string(monoType) + ".wma";
        ASSERT_TRUE(convert("in.wav", name));
        EXPECT_EQ(probe(name).at("channels"), "1");
        EXPECT_NEAR(decodedRms(decoded(name, 1)), expected, toneRms * 0.05 + 20);
    }
}

TEST_F(WmaRoutineTest, TheAmplifierActsOnWhatTheWriterIsFed) {
    writeSource("in.wav", 1, 44100, 16, toneSamples(88200, 44100, 20000));
    ASSERT_TRUE(convert("in.wav", "plain.wma"));
    settings.AmplifyWMA = 1;
    settings.AmplifyWMACoeff = 40;
    ASSERT_TRUE(convert("in.wav", "quiet.wma"));
    const double plain = decodedRms(decoded("plain.wma", 1));
    EXPECT_NEAR(decodedRms(decoded("quiet.wma", 1)), plain * 0.4, plain * 0.02);
}

// ---------------------------------------------------------------------------------------------
// Tags

TEST_F(WmaRoutineTest, ThePresetGivesTheTagsWithTheFileNameAndBatchPosition) {
    writeSource("Song.Name.wav", 1, 22050, 16, toneSamples(22050, 22050, 9000));
    settings.WMAID3TagType = 0;
    TagPreset& preset = settings.WMATag;
    preset.TitleAsFileName = 1;
    preset.Title = "not used";
    preset.Artist = "Preset Artist";
    preset.Album = "Preset Album";
    preset.Year = "2001";
    preset.Genre = "Synthpop";
    preset.Comment = "Preset comment";
    preset.Composer = "Preset Composer";
    preset.Copyright = "Preset (c)";
    preset.TrackNumType = 1;
    ASSERT_TRUE(convert("Song.Name.wav", "out.wma", SourceKind::Wav, 3));
    test::AsfHeader header;
    auto byName = attributes("out.wma", header);
    EXPECT_EQ(header.title, "Song.Name");
    EXPECT_EQ(header.author, "Preset Artist");
    EXPECT_EQ(header.description, "Preset comment");
    EXPECT_EQ(header.copyright, "Preset (c)");
    EXPECT_EQ(byName["WM/AlbumArtist"].text, "Preset Artist");
    EXPECT_EQ(byName["WM/AlbumTitle"].text, "Preset Album");
    EXPECT_EQ(byName["WM/Genre"].text, "Synthpop");
    EXPECT_EQ(byName["WM/Year"].text, "2001");
    EXPECT_EQ(byName["WM/Composer"].text, "Preset Composer");
    EXPECT_EQ(byName["WM/TrackNumber"].type, 3);
    EXPECT_EQ(byName["WM/TrackNumber"].number, 3u);

    preset.TitleAsFileName = 0;
    preset.TrackNumType = 2;
    preset.CustomTrackNum = 12;
    ASSERT_TRUE(convert("Song.Name.wav", "fixed.wma", SourceKind::Wav, 3));
    byName = attributes("fixed.wma", header);
    EXPECT_EQ(header.title, "not used");
    EXPECT_EQ(byName["WM/TrackNumber"].number, 12u);
}

TEST_F(WmaRoutineTest, TransfersTheSourcesTagsAndWritesEmptyOnesWithoutTags) {
    ASSERT_EQ(
        test::runCommand("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1 -ac 2 "
                         "-metadata title='Source Title' -metadata artist='Source Artist' "
                         "-metadata album='Source Album' -metadata genre=Jazz -metadata date=1987 "
                         "-metadata track=4/9 -metadata composer='Source Composer' " +
                         test::shellQuote(path("in.flac").string())),
        0);
    settings.WMAID3TagType = 1;
    ASSERT_TRUE(convert("in.flac", "moved.wma", SourceKind::Flac));
    test::AsfHeader header;
    auto byName = attributes("moved.wma", header);
    EXPECT_EQ(header.title, "Source Title");
    EXPECT_EQ(header.author, "Source Artist");
    EXPECT_EQ(byName["WM/AlbumTitle"].text, "Source Album");
    EXPECT_EQ(byName["WM/Genre"].text, "Jazz");
    EXPECT_EQ(byName["WM/Year"].text, "1987");
    EXPECT_EQ(byName["WM/Composer"].text, "Source Composer");
    EXPECT_EQ(byName["WM/TrackNumber"].number, 4u); // the leading number of "4/9"

    settings.WMAID3TagType = 2;
    ASSERT_TRUE(convert("in.flac", "bare.wma", SourceKind::Flac));
    byName = attributes("bare.wma", header);
    EXPECT_EQ(header.title, "");
    EXPECT_EQ(header.author, "");
    EXPECT_EQ(byName.size(), 6u);
    EXPECT_EQ(byName["WM/AlbumTitle"].text, "");
    EXPECT_EQ(byName["WM/TrackNumber"].number, 0u);
}

TEST_F(WmaRoutineTest, MpegFourSourcesGiveTheirMetadataItems) {
    ASSERT_EQ(test::runCommand("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1 "
                               "-c:a aac -metadata title='Mp4 Title' -metadata artist='Mp4 Artist' "
                               "-metadata track=6 " +
                               test::shellQuote(path("in.m4a").string())),
              0);
    settings.WMAID3TagType = 1;
    ASSERT_TRUE(convert("in.m4a", "out.wma", SourceKind::Mpeg4Audio));
    test::AsfHeader header;
    auto byName = attributes("out.wma", header);
    EXPECT_EQ(header.title, "Mp4 Title");
    EXPECT_EQ(header.author, "Mp4 Artist");
    EXPECT_EQ(byName["WM/TrackNumber"].number, 6u);
}

// ---------------------------------------------------------------------------------------------
// Failures

TEST_F(WmaRoutineTest, NoFormatForTheChannelCountWritesNothing) {
    WmaFormatList monoOnly;
    monoOnly.build(
        std::vector<WmfCodecFormat>{{"mono", {WmfCodecInfo::kWmaFormatTag, 44100, 1}, 48000}});
    writeSource("in.wav", 2, 44100, 16, toneSamples(44100, 44100, 9000),
                toneSamples(44100, 44100, 9000));
    test::RecordingBatchView view;
    EXPECT_FALSE(convert("in.wav", "out.wma", view, &monoOnly));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home", "in.wav"}));
    // The same catalogue serves a mono source.
    writeSource("mono.wav", 1, 44100, 16, toneSamples(44100, 44100, 9000));
    EXPECT_TRUE(convert("mono.wav", "mono.wma", view, &monoOnly));
}

TEST_F(WmaRoutineTest, CancelLeavesNoFile) {
    writeSource("in.wav", 2, 44100, 16, toneSamples(441000, 44100, 9000),
                toneSamples(441000, 44100, 9000));
    test::RecordingBatchView view;
    view.cancelOnLine("upper Converting in.wav...40%");
    EXPECT_FALSE(convert("in.wav", "out.wma", view));
    EXPECT_EQ(view.linesOf("upper").back(), "Converting in.wav...40%");
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home", "in.wav"}));
}

// ---------------------------------------------------------------------------------------------
// The batch driver's runtime check

class WmaDriverTest : public WmaRoutineTest {
protected:
    // Runs a batch of one entry; counts the routine's calls.
    int runBatch(int outputFormat, std::optional<bool> runtimeBound, test::RecordingBatchView& view,
                 int& checks) {
        settings.OutputFormat = outputFormat;
        settings.DestOutputFolderOpt = ConversionSettings::kSameFolderAsSource;
        settings.OutputFiles2MyDocuments = 0;
        int routineCalls = 0;
        ConversionDriver driver(settings, view);
        driver.setRoutine(
            [&](SourceKind, const std::string&, const std::string& output, RoutineContext&) {
                ++routineCalls;
                test::writeFileBytes(output, {1, 2, 3});
                return true;
            });
        if (runtimeBound)
            driver.setWindowsMediaCheck([&, bound = *runtimeBound] {
                ++checks;
                return bound;
            });
        SourceFile entry;
        entry.path = path("in.wav").string();
        entry.kind = SourceKind::Wav;
        SourceFile* entries[] = {&entry};
        const int rows[] = {0};
        driver.convertBatch(entries, rows);
        return routineCalls;
    }
};

TEST_F(WmaDriverTest, AMissingRuntimeAsksAndConvertsNothing) {
    writeSource("in.wav", 1, 44100, 16, toneSamples(100, 44100, 100));
    for (const int format : {kWma, kWmv, kAsf}) {
        for (const bool answer : {false, true}) {
            SCOPED_TRACE(std::to_string(format) + (answer ? " yes" : " no"));
            test::RecordingBatchView view;
            view.setAnswers(answer, false);
            int checks = 0;
            EXPECT_EQ(runBatch(format, false, view, checks), 0);
            EXPECT_EQ(checks, 1);
            EXPECT_EQ(view.lines(), std::vector<std::string>{"ask-runtime"});
        }
    }
}

TEST_F(WmaDriverTest, ABoundRuntimeLetsTheBatchRunWithoutAQuestion) {
    writeSource("in.wav", 1, 44100, 16, toneSamples(100, 44100, 100));
    test::RecordingBatchView view;
    int checks = 0;
    EXPECT_EQ(runBatch(kWma, true, view, checks), 1);
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(view.linesOf("ask-runtime").empty());
    EXPECT_EQ(view.linesOf("status").back(), "0 in.wma");

    // Other formats never look for the runtime.
    test::RecordingBatchView other;
    checks = 0;
    EXPECT_EQ(runBatch(5600, false, other, checks), 1);
    EXPECT_EQ(checks, 0);
    EXPECT_TRUE(other.linesOf("ask-runtime").empty());

    // This machine's runtime is there: the real check passes.
    test::RecordingBatchView real;
    EXPECT_EQ(runBatch(kAsf, std::nullopt, real, checks), 1);
    EXPECT_TRUE(real.linesOf("ask-runtime").empty());
}

// ---------------------------------------------------------------------------------------------
// The command line

TEST_F(WmaRoutineTest, TheCommandLineConvertsToEachExtension) {
    writeSource("in.wav", 2, 32000, 16, toneSamples(32000, 32000, 9000),
                toneSamples(32000, 32000, 9000));
    const auto cli = [&](const std::vector<std::string>& words, std::string& out) {
        std::string command = test::shellQuote(VELMORA_CLI_PATH);
        for (const std::string& word : words)
            command += " " + test::shellQuote(word);
        out.clear();
        return test::runCommand(command + " </dev/null 2>/dev/null", &out);
    };
    std::string out;
    ASSERT_EQ(cli({"settings", "set", "WMABitRate", "64000"}, out), 0);
    ASSERT_EQ(cli({"settings", "set", "AutoDestWMAEncodingParam", "0"}, out), 0);
    for (const std::string word : {"wma", "wmv", "asf"}) {
        SCOPED_TRACE(word);
        ASSERT_EQ(cli({"convert", "--to", word, "--set", "WMASampleRate=16000", "--set",
                       "WMAChannels=1", path("in.wav").string()},
                      out),
                  0);
        EXPECT_EQ(out, path("in.wav").string() + " -> " +
                           path("home/Documents/in." + word).string() + "\n");
        const auto fields = probe("home/Documents/in." + word);
        EXPECT_EQ(fields.at("format_name"), "asf");
        EXPECT_EQ(fields.at("sample_rate"), "16000");
        EXPECT_EQ(fields.at("channels"), "1");
        EXPECT_EQ(fields.at("bit_rate"), "64000"); // the stored bit rate
    }
}

} // namespace
} // namespace velmora
