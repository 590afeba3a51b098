#include "engine/file_list.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

SourceFile entryWith(SourceKind kind, int duration, int bitrate, int rate, int channels,
                     int channelMode = 4) {
    SourceFile entry;
    entry.path = "/music/folder.x/Track One.wav";
    entry.kind = kind;
    entry.durationSeconds = duration;
    entry.bitrateKbps = bitrate;
    entry.sampleRate = rate;
    entry.channels = channels;
    entry.channelMode = channelMode;
    return entry;
}

TEST(FileListRowTexts, ShowsDurationRateAndChannelTexts) {
    const auto row = FileList::describeRow(entryWith(SourceKind::Wav, 59 * 60, 1411, 44100, 2));
    EXPECT_EQ(row,
              (FileList::RowTexts{"Track One.wav", "59:00", "1411 kbps", "44100 Hz", "Stereo"}));
}

TEST(FileListRowTexts, DurationGainsHoursFromOneHourOn) {
    EXPECT_EQ(FileList::describeRow(entryWith(SourceKind::Wav, 3599, 0, 0, 1))[1], "59:59");
    EXPECT_EQ(FileList::describeRow(entryWith(SourceKind::Wav, 3600, 0, 0, 1))[1], "1:00:00");
    EXPECT_EQ(FileList::describeRow(entryWith(SourceKind::Wav, 61 * 60, 0, 0, 1))[1], "1:01:00");
    EXPECT_EQ(FileList::describeRow(entryWith(SourceKind::Wav, 5, 0, 0, 1))[1], "00:05");
}

TEST(FileListRowTexts, UnknownValuesLeaveCellsEmpty) {
    const auto row = FileList::describeRow(entryWith(SourceKind::MpegAudio, 0, 0, 0, 0, 4));
    EXPECT_EQ(row, (FileList::RowTexts{"Track One.wav", "", "", "", ""}));
}

TEST(FileListRowTexts, ChannelColumnByKind) {
    struct Case {
        SourceKind kind;
        int channels;
        int mode;
        const char* text;
    };
    const Case cases[] = {
        {SourceKind::Wav, 0, 4, "Mono"},
        {SourceKind::Wav, 1, 4, "Mono"},
        {SourceKind::Wav, 2, 4, "Stereo"},
        {SourceKind::Wav, 3, 4, "3"},
        {SourceKind::Wav, 6, 4, "5.1"},
        {SourceKind::Wav, 8, 4, "8"},
        {SourceKind::MpegAudio, 2, 0, "Stereo"},
        {SourceKind::MpegAudio, 2, 1, "J-Stereo"},
        {SourceKind::MpegAudio, 2, 2, "Dual Channel"},
        {SourceKind::MpegAudio, 1, 3, "Mono"},
        {SourceKind::MpegAudio, 2, 4, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileList::describeRow(entryWith(c.kind, 1, 1, 1, c.channels, c.mode))[4], c.text)
            << code(c.kind) << " channels " << c.channels << " mode " << c.mode;
}

class FileListTest : public test::SandboxTest {};

TEST_F(FileListTest, RejectsMissingFilesAndExplainsCdTracks) {
    FileList list;
    EXPECT_EQ(list.addFile(path("Track01.cda").string()), FileList::kRejected);
    EXPECT_EQ(list.failureNote(), FileList::kCdNote);
    list.clearFailureNote();
    EXPECT_EQ(list.addFile(path("clip.FLV").string()), FileList::kRejected);
    EXPECT_EQ(list.failureNote(), FileList::kFlashNote);
    list.clearFailureNote();
    EXPECT_EQ(list.addFile(path("nothing.wav").string()), FileList::kRejected);
    EXPECT_EQ(list.failureNote(), "");
    EXPECT_EQ(list.size(), 0u);
}

TEST(UpperCasePath, FoldsAsciiLettersOnly) {
    EXPECT_EQ(upperCasePath("/home/u/Müsic/a.wav"), "/HOME/U/MüSIC/A.WAV");
}

} // namespace
} // namespace velmora
