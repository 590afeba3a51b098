// Tests of the decoding layer's own parsers and process-wide state: the MPEG frame header, the
// check that decides whether a file is MPEG audio, the MIDI file reader with its length
// computation, the default SoundFont, start-up and exit, and the program folder.

#include "platform/bass/decode_stream.h"
#include "platform/bass/decoding_library.h"
#include "platform/bass/input_file.h"
#include "platform/bass/midi_sound_font.h"
#include "platform/bass/mpeg_frame_header.h"
#include "platform/bass/mpeg_layout.h"
#include "platform/bass/standard_midi_file.h"
#include "platform/program_folder.h"
#include "tests/unit/synthetic_songs.h"
#include "tests/unit/test_support.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

using test::appendText;
using test::appendU32LE;
using test::midiFile;
using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------------------------
// MPEG frame header

struct HeaderCase {
    const char* name;
    std::array<std::uint8_t, 4> bytes;
    bool parses;
    std::optional<int> channelMode; // what the open-time check reports
    std::uint32_t frameBytes;
};

class MpegFrameHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(MpegFrameHeaderTest, DecodesOrRejects) {
    const HeaderCase& c = GetParam();
    const auto header = MpegFrameHeader::parse(c.bytes);
    EXPECT_EQ(header.has_value(), c.parses);
    EXPECT_EQ(MpegFrameHeader::channelModeOf(c.bytes), c.channelMode);
    if (header) {
        EXPECT_EQ(header->frameBytes(), c.frameBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MpegFrameHeaderTest,
    ::testing::Values(
        // MPEG-1 layer III, 128 kbit/s, 44100 Hz: 144 × 128000 / 44100 = 417 (+1 padded).
        HeaderCase{"Mpeg1Layer3JointStereo", {0xFF, 0xFB, 0x90, 0x40}, true, 1, 417},
        HeaderCase{"Mpeg1Layer3PaddedStereo", {0xFF, 0xFB, 0x92, 0x00}, true, 0, 418},
        HeaderCase{"Mpeg1Layer3DualChannel", {0xFF, 0xFB, 0x90, 0x80}, true, 2, 417},
        HeaderCase{"Mpeg1Layer3Mono", {0xFF, 0xFB, 0x90, 0xC0}, true, 3, 417},
        // MPEG-1 layer I, 128 kbit/s, 48000 Hz: (12 × 128000 / 48000) × 4 = 128.
        HeaderCase{"Mpeg1Layer1", {0xFF, 0xFF, 0x44, 0xC0}, true, 3, 128},
        // MPEG-1 layer II, 192 kbit/s, 48000 Hz: 144 × 192000 / 48000 = 576.
        HeaderCase{"Mpeg1Layer2", {0xFF, 0xFD, 0xA4, 0x00}, true, 0, 576},
        // MPEG-2 layer III, 64 kbit/s, 22050 Hz: 72 × 64000 / 22050 = 208.
        HeaderCase{"Mpeg2Layer3", {0xFF, 0xF3, 0x80, 0x40}, true, 1, 208},
        // MPEG-2.5 layer III, 8 kbit/s, 8000 Hz: 72 × 8000 / 8000 = 72.
        HeaderCase{"Mpeg25Layer3", {0xFF, 0xE3, 0x18, 0xC0}, true, 3, 72},
        HeaderCase{"FreeFormat", {0xFF, 0xFB, 0x00, 0x40}, true, std::nullopt, 0},
        HeaderCase{"BitrateIndex15", {0xFF, 0xFB, 0xF0, 0x40}, false, std::nullopt, 0},
        HeaderCase{"ReservedVersion", {0xFF, 0xEB, 0x90, 0x40}, false, std::nullopt, 0},
        HeaderCase{"LayerBitsZero", {0xFF, 0xF9, 0x90, 0x40}, false, std::nullopt, 0},
        HeaderCase{"ReservedSampleRate", {0xFF, 0xFB, 0x9C, 0x40}, false, std::nullopt, 0},
        HeaderCase{"NoSyncFirstByte", {0xFE, 0xFB, 0x90, 0x40}, false, std::nullopt, 0},
        HeaderCase{"NoSyncSecondByte", {0xFF, 0xBB, 0x90, 0x40}, false, std::nullopt, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Which files count as MPEG audio

class MpegLayoutTest : public test::SandboxTest {
protected:
    std::optional<MpegLayout> scan(const Bytes& bytes) {
        const auto file = path("scan.bin");
        test::writeFileBytes(file, bytes);
        const auto input = InputFile::open(file.string());
        EXPECT_TRUE(input.has_value());
        return input ? MpegLayout::scan(*input) : std::nullopt;
    }
};

// `count` silent MPEG-1 layer I frames of 128 bytes (48000 Hz, 128 kbit/s, mono): all
// allocations zero, so a frame is its header and zero bytes.
Bytes layer1Frames(int count, std::uint8_t bitrateNibble = 0x40) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        out.insert(out.end(), {0xFF, 0xFF, static_cast<std::uint8_t>(bitrateNibble | 0x04), 0xC0});
        out.resize(out.size() + 124, 0);
    }
    return out;
}

Bytes id3v2Tag(std::uint32_t bodyBytes) {
    Bytes out;
    appendText(out, "ID3");
    out.insert(out.end(), {0x03, 0x00, 0x00});
    for (int shift = 21; shift >= 0; shift -= 7)
        out.push_back(static_cast<std::uint8_t>((bodyBytes >> shift) & 0x7F));
    out.resize(out.size() + bodyBytes, 0);
    return out;
}

TEST_F(MpegLayoutTest, FindsTheFirstFrameAfterTagsAndJunk) {
    Bytes file = id3v2Tag(300);
    file.insert(file.end(), {0x00, 0x12, 0xFF, 0xFB}); // junk, including a lone sync
    const Bytes frames = layer1Frames(10);
    file.insert(file.end(), frames.begin(), frames.end());
    Bytes id3v1;
    appendText(id3v1, "TAG");
    id3v1.resize(128, 0x20);
    file.insert(file.end(), id3v1.begin(), id3v1.end());

    const auto layout = scan(file);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->id3v2Bytes, 310u);
    EXPECT_EQ(layout->audioStart, 314u);
    EXPECT_EQ(layout->audioEnd, 314u + 1280u);
    EXPECT_TRUE(layout->hasId3v1);
}

TEST_F(MpegLayoutTest, AcceptsAShortStreamThatEndsExactlyAtTheEndOfTheFile) {
    const auto layout = scan(layer1Frames(2));
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->audioStart, 0u);
    EXPECT_EQ(layout->audioEnd, 256u);
    // Three frames and then something else: too short a chain.
    Bytes file = layer1Frames(3);
    file.resize(file.size() + 200, 0x11);
    EXPECT_FALSE(scan(file).has_value());
}

TEST_F(MpegLayoutTest, AcceptsFreeFormatFramesThatChainFromTheStart) {
    const auto layout = scan(layer1Frames(6, 0x00));
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->audioStart, 0u);
    // After junk, a free-format header is not taken as the start of a stream.
    Bytes file = {0x00, 0x00};
    const Bytes frames = layer1Frames(6, 0x00);
    file.insert(file.end(), frames.begin(), frames.end());
    EXPECT_FALSE(scan(file).has_value());
}

TEST_F(MpegLayoutTest, RejectsSyncPatternsThatDoNotChain) {
    // Data with many 0xFF bytes, as quiet PCM has: syncs by the thousand, chains by chance
    // rarely, and four chained frames practically never.
    std::mt19937 random(7);
    Bytes data;
    for (int i = 0; i < 60000; ++i)
        data.push_back(static_cast<std::uint8_t>(random() % 4 == 0 ? 0xFF : random()));
    EXPECT_FALSE(scan(data).has_value());
}

TEST_F(MpegLayoutTest, FilesOfOtherFormatsAreNeverMpeg) {
    for (const char* signature : {"RIFF", "FORM", "fLaC", "OggS", "wvpk", "MThd", "caff", ".snd"}) {
        Bytes file;
        appendText(file, signature);
        file.resize(8, 0);
        const Bytes frames = layer1Frames(10);
        file.insert(file.end(), frames.begin(), frames.end());
        EXPECT_FALSE(scan(file).has_value()) << signature;
    }
    Bytes mp4 = {0, 0, 0, 0x20};
    appendText(mp4, "ftypM4A ");
    const Bytes frames = layer1Frames(10);
    mp4.insert(mp4.end(), frames.begin(), frames.end());
    EXPECT_FALSE(scan(mp4).has_value());
}

TEST_F(MpegLayoutTest, RejectsATagThatClaimsMoreThanTheFile) {
    Bytes file = id3v2Tag(0);
    file[9] = 0x7F; // body of 127 bytes, none present
    const Bytes frames = layer1Frames(1);
    file.insert(file.end(), frames.begin(), frames.begin() + 60);
    EXPECT_FALSE(scan(file).has_value());
    EXPECT_FALSE(scan({}).has_value());
}

// ---------------------------------------------------------------------------------------------
// MIDI files

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

// A note held for 192 ticks (one second at 96 ticks per quarter and the default tempo), with
// the second event in running status.
Bytes oneSecondNote() {
    Bytes events = {0x00, 0x90, 60, 100, 0x81, 0x40, 60, 0};
    events.insert(events.end(), kEndOfTrack.begin(), kEndOfTrack.end());
    return events;
}

TEST(StandardMidiFileTest, DefaultTempoAndRunningStatus) {
    const auto song = StandardMidiFile::parse(midiFile(0, 96, {oneSecondNote()}));
    ASSERT_TRUE(song.has_value());
    EXPECT_EQ(song->trackCount(), 1u);
    EXPECT_EQ(song->endTick(), 192u);
    EXPECT_DOUBLE_EQ(song->endSeconds(), 1.0);
    // Running status is spelled out in the rewritten file.
    const Bytes expected =
        midiFile(0, 96, {{0x00, 0x90, 60, 100, 0x81, 0x40, 0x90, 60, 0, 0x00, 0xFF, 0x2F, 0x00}});
    EXPECT_EQ(song->bytes(), expected);
}

TEST(StandardMidiFileTest, TempoChangesOfAllTracksFormOneMap) {
    // Track 0: tempo 250000 µs per quarter from tick 96, ends at tick 384. Track 1 ends earlier.
    const Bytes tempoTrack = {0x60, 0xFF, 0x51, 0x03, 0x03, 0xD0,
                              0x90, 0x82, 0x20, 0xFF, 0x2F, 0x00};
    const Bytes notes = {0x00, 0x91, 64, 90, 0x82, 0x0C, 0x81, 64, 0, 0x00, 0xFF, 0x2F, 0x00};
    const auto song = StandardMidiFile::parse(midiFile(1, 96, {tempoTrack, notes}));
    ASSERT_TRUE(song.has_value());
    EXPECT_EQ(song->trackCount(), 2u);
    EXPECT_EQ(song->endTick(), 384u);
    // 96 ticks at 0.5 s per quarter, then 288 ticks at 0.25 s per quarter.
    EXPECT_DOUBLE_EQ(song->endSeconds(), 0.5 + 0.75);
}

TEST(StandardMidiFileTest, ReadsTheFileInsideARiffRmidWrapper) {
    const Bytes smf = midiFile(0, 96, {oneSecondNote()});
    Bytes rmid;
    appendText(rmid, "RIFF");
    appendU32LE(rmid, static_cast<std::uint32_t>(4 + 8 + 2 + 8 + smf.size()));
    appendText(rmid, "RMIDLIST");
    appendU32LE(rmid, 1);
    rmid.insert(rmid.end(), {'x', 0}); // odd chunk with its pad byte
    appendText(rmid, "data");
    appendU32LE(rmid, static_cast<std::uint32_t>(smf.size()));
    rmid.insert(rmid.end(), smf.begin(), smf.end());
    const auto song = StandardMidiFile::parse(rmid);
    ASSERT_TRUE(song.has_value());
    EXPECT_DOUBLE_EQ(song->endSeconds(), 1.0);
    EXPECT_EQ(song->bytes(), StandardMidiFile::parse(smf)->bytes());
}

TEST(StandardMidiFileTest, ACutTrackEndsAtItsLastWholeEvent) {
    Bytes file = midiFile(0, 96, {oneSecondNote()});
    file.resize(file.size() - 5); // the end of track and the last data byte are gone
    const auto song = StandardMidiFile::parse(file);
    ASSERT_TRUE(song.has_value());
    EXPECT_EQ(song->endTick(), 0u);
    EXPECT_EQ(song->bytes(), midiFile(0, 96, {{0x00, 0x90, 60, 100, 0x00, 0xFF, 0x2F, 0x00}}));
    // The rewritten file reads back as itself.
    EXPECT_EQ(StandardMidiFile::parse(song->bytes())->bytes(), song->bytes());
}

TEST(StandardMidiFileTest, BadEventsEndTheTrackAndBadTemposAreLeftOut) {
    // A tempo of zero is dropped and passes its delta on; a five-byte delta ends the track.
    const Bytes events = {0x10, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00, 0x20, 0x90, 60,
                          100,  0x80, 0x80, 0x80, 0x80, 0x01, 0x80, 60,   0};
    const auto song = StandardMidiFile::parse(midiFile(0, 96, {events}));
    ASSERT_TRUE(song.has_value());
    EXPECT_EQ(song->endTick(), 0x30u);
    EXPECT_EQ(song->bytes(), midiFile(0, 96, {{0x30, 0x90, 60, 100, 0x00, 0xFF, 0x2F, 0x00}}));
    // A system real-time byte and a data byte without status end a track too.
    EXPECT_EQ(StandardMidiFile::parse(midiFile(0, 96, {{0x00, 0xF8, 0x10, 0x90, 1, 1}}))->endTick(),
              0u);
    EXPECT_EQ(StandardMidiFile::parse(midiFile(0, 96, {{0x05, 0x40, 0x40}}))->endTick(), 0u);
}

TEST(StandardMidiFileTest, RejectsWhatTheRendererCannotPlay) {
    EXPECT_FALSE(StandardMidiFile::parse(midiFile(0, 0xE728, {oneSecondNote()}))); // SMPTE
    EXPECT_FALSE(StandardMidiFile::parse(midiFile(0, 0, {oneSecondNote()})));      // no ticks
    EXPECT_FALSE(StandardMidiFile::parse(midiFile(3, 96, {oneSecondNote()})));     // format 3
    EXPECT_FALSE(StandardMidiFile::parse(midiFile(1, 96, {})));                    // no track
    Bytes shortHeader = midiFile(0, 96, {oneSecondNote()});
    shortHeader.resize(12);
    EXPECT_FALSE(StandardMidiFile::parse(shortHeader));
    Bytes text;
    appendText(text, "MTrk this is not a MIDI file");
    EXPECT_FALSE(StandardMidiFile::parse(text));
}

TEST(StandardMidiFileTest, AnySequenceOfBytesParsesSafely) {
    std::mt19937 random(11);
    const Bytes seed = midiFile(1, 96, {oneSecondNote(), oneSecondNote()});
    for (int round = 0; round < 2000; ++round) {
        Bytes mutated = seed;
        for (int flips = 0; flips < 4; ++flips)
            mutated[random() % mutated.size()] = static_cast<std::uint8_t>(random());
        mutated.resize(random() % (mutated.size() + 1));
        if (const auto song = StandardMidiFile::parse(mutated)) {
            // Whatever was read, the rewritten file is well formed and reads back as itself.
            const auto again = StandardMidiFile::parse(song->bytes());
            ASSERT_TRUE(again.has_value());
            EXPECT_EQ(again->bytes(), song->bytes());
            EXPECT_EQ(again->endTick(), song->endTick());
        }
    }
}

class MidiLengthCapTest : public test::SandboxTest {};

TEST_F(MidiLengthCapTest, RefusesASongLongerThanTheRenderLimit) {
    // One tick lasts 0xFFFFFF µs at one tick per quarter note; 0x0FFFFFFF ticks are ~142 years.
    const Bytes events = {0x00, 0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF,
                          0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F, 0x00};
    const auto file = path("long.mid");
    test::writeFileBytes(file, midiFile(0, 1, {events}));
    EXPECT_GT(StandardMidiFile::parse(midiFile(0, 1, {events}))->endSeconds(),
              DecodeStream::kMaxRenderSeconds);
    EXPECT_EQ(DecodeStream::openMidi(file.string(), 8000), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Default SoundFont, start-up and exit, program folder

class MidiSoundFontTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        MidiSoundFont::clear();
    }
    void TearDown() override {
        unsetenv(MidiSoundFont::kPathVariable);
        MidiSoundFont::clear();
        SandboxTest::TearDown();
    }
};

TEST_F(MidiSoundFontTest, TriesTheProgramFolderThenTheDistributionFile) {
    unsetenv(MidiSoundFont::kPathVariable);
    const auto candidates = MidiSoundFont::candidates();
    ASSERT_FALSE(candidates.empty());
    EXPECT_EQ(candidates.back(), MidiSoundFont::kDistributionFile);
    EXPECT_TRUE(MidiSoundFont::ensureDefault());
    EXPECT_EQ(MidiSoundFont::defaultFile(), candidates.front());
}

TEST_F(MidiSoundFontTest, AnEmptyListFindsNoSoundFont) {
    setenv(MidiSoundFont::kPathVariable, "", 1);
    EXPECT_TRUE(MidiSoundFont::candidates().empty());
    EXPECT_FALSE(MidiSoundFont::ensureDefault());
    EXPECT_EQ(MidiSoundFont::defaultFile(), "");
}

TEST_F(MidiSoundFontTest, SkipsFilesThatAreNotSoundFontsAndKeepsTheFirstThatLoads) {
    const auto fake = path("ct4mgm.sf2");
    Bytes riff;
    appendText(riff, "RIFF\x04\x00\x00\x00sfbk");
    test::writeFileBytes(fake, riff);
    const std::string list =
        fake.string() + ":" + root().string() + "::" + MidiSoundFont::kDistributionFile;
    setenv(MidiSoundFont::kPathVariable, list.c_str(), 1);
    EXPECT_EQ(MidiSoundFont::candidates().size(), 3u);
    EXPECT_TRUE(MidiSoundFont::ensureDefault());
    EXPECT_EQ(MidiSoundFont::defaultFile(), MidiSoundFont::kDistributionFile);
    // Once set, the default stays even when the list changes.
    setenv(MidiSoundFont::kPathVariable, "", 1);
    EXPECT_TRUE(MidiSoundFont::ensureDefault());
    EXPECT_FALSE(MidiSoundFont::install(fake.string()));
    EXPECT_EQ(MidiSoundFont::defaultFile(), MidiSoundFont::kDistributionFile);
}

TEST_F(MidiSoundFontTest, StartUpChecksTheVersionAndExitReleasesTheSoundFont) {
    EXPECT_TRUE(DecodingLibrary::versionSupported(DecodingLibrary::version()));
    EXPECT_FALSE(DecodingLibrary::versionSupported(0x02030000));
    EXPECT_FALSE(DecodingLibrary::versionSupported(0x03040000));
    {
        const auto library = DecodingLibrary::start();
        ASSERT_NE(library, nullptr);
        EXPECT_TRUE(DecodingLibrary::running());
        EXPECT_EQ(DecodingLibrary::start(), nullptr); // one at a time
        EXPECT_TRUE(MidiSoundFont::install(MidiSoundFont::kDistributionFile));
    }
    EXPECT_FALSE(DecodingLibrary::running());
    EXPECT_EQ(MidiSoundFont::defaultFile(), "");
    EXPECT_NE(DecodingLibrary::start(), nullptr);
}

TEST(ProgramFolderTest, IsTheFolderOfTheRunningProgram) {
    const std::string folder = ProgramFolder::path();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(folder + self.filename().string(), self.string());
    EXPECT_EQ(ProgramFolder::findDataFile(self.filename().string()), self.string());
    EXPECT_EQ(ProgramFolder::findDataFile("no-such-file.sf2"), "");
    EXPECT_EQ(ProgramFolder::findDataFile("../" + self.parent_path().filename().string()), "");
}

} // namespace
} // namespace velmora
