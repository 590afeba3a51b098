#include "engine/output_format.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmora {
namespace {

struct Row {
    int code;
    std::string word;
    std::string label;
    std::string extension;
    std::string shown;
    OutputFamily family;
};

TEST(OutputFormatTest, TableHasTheFourteenEntriesInOrder) {
    const std::vector<Row> expected = {
        {1000, "mp3", "", ".mp3", " to MP3", OutputFamily::Mp3},
        {2000, "wav", "", ".wav", " to WAV", OutputFamily::Wav},
        {7100, "wma", "", ".wma", " to WMA", OutputFamily::WindowsMedia},
        {7200, "wmv", "WMV (Audio only)", ".wmv", " to WMV (Audio only)",
         OutputFamily::WindowsMedia},
        {7300, "asf", "ASF (Audio only)", ".asf", " to ASF (Audio only)",
         OutputFamily::WindowsMedia},
        {4000, "ogg", "", ".ogg", " to OGG", OutputFamily::Ogg},
        {6000, "aac", "", ".aac", " to AAC", OutputFamily::Aac},
        {6500, "m4a", "AAC for iPod / iTunes / DSi", ".m4a", " to AAC for iPod / iTunes / DSi",
         OutputFamily::Mp4},
        {6600, "mp4", "MP4 (Audio only)", ".mp4", " to MP4 (Audio only)", OutputFamily::Mp4},
        {6500, "m4a", "M4A (MPEG-4 Audio)", ".m4a", " to M4A (MPEG-4 Audio)", OutputFamily::Mp4},
        {6700, "m4b", "M4B (MPEG-4 Audiobook)", ".m4b", " to M4B (MPEG-4 Audiobook)",
         OutputFamily::Mp4},
        {6800, "m4r", "M4R (iPhone Ringtone)", ".m4r", " to M4R (iPhone Ringtone)",
         OutputFamily::Mp4},
        {5500, "amr", "", ".amr", " to AMR", OutputFamily::Amr},
        {5600, "awb", "", ".awb", " to AWB", OutputFamily::Amr},
    };
    const auto table = outputFormatTable();
    ASSERT_EQ(table.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(table[i].code, expected[i].code);
        EXPECT_EQ(table[i].word, expected[i].word);
        EXPECT_EQ(table[i].label, expected[i].label);
        EXPECT_EQ(table[i].extension, expected[i].extension);
        EXPECT_EQ(table[i].family, expected[i].family);
        EXPECT_EQ(outputFormatDisplayText(table[i]), expected[i].shown);
        EXPECT_EQ(outputFormatExtension(table[i].code), expected[i].extension);
    }
}

TEST(OutputFormatTest, UpperCaseWordByCode) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1000, "MP3"}, {2000, "WAV"}, {4000, "OGG"}, {5500, "AMR"}, {5600, "AWB"}, {6000, "AAC"},
        {6500, "M4A"}, {6600, "MP4"}, {6700, "M4B"}, {6800, "M4R"}, {7100, "WMA"}, {7200, "WMV"},
        {7300, "ASF"}, {-1, ""},      {0, ""},       {1234, ""},
    };
    for (const auto& [code, word] : cases)
        EXPECT_EQ(outputFormatUpperWord(code), word) << code;
    EXPECT_EQ(code(OutputFormat::M4r), 6800);
    EXPECT_EQ(outputFormatExtension(9999), "");
    EXPECT_EQ(findOutputFormat(9999), nullptr);
}

TEST(OutputFormatTest, FormatBoxSelectsTheLastEntryOfTheCode) {
    struct Case {
        int stored;
        std::size_t index;
        int code;
    };
    const std::vector<Case> cases = {
        {1000, 0, 1000},
        {2000, 1, 2000},
        {7100, 2, 7100},
        {7200, 3, 7200},
        {7300, 4, 7300},
        {4000, 5, 4000},
        {6000, 6, 6000},
        {6500, 9, 6500},
        {6600, 8, 6600},
        {6700, 10, 6700},
        {6800, 11, 6800},
        {5500, 12, 5500},
        {5600, 13, 5600},
        // Codes that are not in the table fall back to the first entry and MP3.
        {0, 0, 1000},
        {-1, 0, 1000},
        {3000, 0, 1000},
        {6501, 0, 1000},
    };
    for (const Case& c : cases) {
        const OutputFormatSelection selection = selectOutputFormat(c.stored);
        EXPECT_EQ(selection.index, c.index) << c.stored;
        EXPECT_EQ(selection.code, c.code) << c.stored;
    }
    EXPECT_EQ(outputFormatTable()[selectOutputFormat(6500).index].label, "M4A (MPEG-4 Audio)");
}

TEST(OutputFormatTest, ParsesWordsAndCodes) {
    const std::vector<std::pair<std::string, std::optional<int>>> cases = {
        {"mp3", 1000}, {"MP3", 1000},  {"m4r", 6800},  {"M4a", 6500},          {"wmv", 7200},
        {"awb", 5600}, {"1000", 1000}, {"6500", 6500}, {"7300", 7300},         {"9999", {}},
        {"-1", {}},    {"0", {}},      {"", {}},       {"flac", {}},           {" mp3", {}},
        {"mp3 ", {}},  {"1000x", {}},  {"+1000", {}},  {"99999999999999", {}}, {".mp3", {}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parseOutputFormat(text), expected) << '"' << text << '"';
}

} // namespace
} // namespace velmora
