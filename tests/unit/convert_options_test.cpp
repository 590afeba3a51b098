// The convert options: each short option against the stored values it changes for the run
// (Auto switched off with its notice), and each bad word against its one-line message.

#include "app/cli/convert_options.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace velmora::cli {
namespace {

using Words = std::vector<std::string>;

class ConvertOptionsTest : public test::SandboxTest {
protected:
    // Parses the words with an input appended, applies them to the defaults and returns the
    // problem, if any. settings and notices keep the result.
    std::optional<std::string> run(Words words) {
        words.push_back("a.wav");
        ConvertOptions options;
        if (auto problem = options.parse(words))
            return problem;
        return options.applyTo(settings, notices);
    }

    ConversionSettings settings{std::string()};
    std::vector<std::string> notices;
};

struct SetsCase {
    Words words;
    std::map<std::string, std::string> expected; // setting name -> value after the run
    std::string notice;                          // empty: none
};

TEST_F(ConvertOptionsTest, EachOptionSetsItsStoredValues) {
    const std::string mp3Auto =
        "MP3BitRate applies only with AutoDestMP3EncodingParam=0; switched off for this run";
    const std::vector<SetsCase> cases = {
        {{"--to", "mp3", "-b", "256"},
         {{"MP3BitRate", "256"}, {"AutoDestMP3EncodingParam", "0"}, {"OutputFormat", "1000"}},
         mp3Auto},
        {{"--to", "mp3", "--set", "MP3BitRate=320"},
         {{"MP3BitRate", "320"}, {"AutoDestMP3EncodingParam", "0"}},
         mp3Auto},
        {{"--to", "mp3", "--set", "mp3bitrate=320"}, {{"MP3BitRate", "320"}}, mp3Auto},
        // The user's own Auto flag wins; --set wins over a shorthand.
        {{"--to", "mp3", "-b", "256", "--set", "AutoDestMP3EncodingParam=1"},
         {{"MP3BitRate", "256"}, {"AutoDestMP3EncodingParam", "1"}},
         ""},
        {{"--to", "mp3", "-b", "256", "--set", "MP3BitRate=320"}, {{"MP3BitRate", "320"}}, mp3Auto},
        // An encoding value of another format leaves this format's Auto alone.
        {{"--to", "wav", "--set", "MP3BitRate=320"}, {{"AutoDestMP3EncodingParam", "1"}}, ""},
        {{"--to", "wma", "--bitrate=192"},
         {{"WMABitRate", "192000"}, {"AutoDestWMAEncodingParam", "0"}},
         "WMABitRate applies only with AutoDestWMAEncodingParam=0; switched off for this run"},
        {{"--to", "m4r", "-b", "256"},
         {{"M4AABRBitRate", "256"}, {"M4AVBR", "0"}, {"AutoDestM4AEncodingParam", "0"}},
         "M4AABRBitRate applies only with AutoDestM4AEncodingParam=0; switched off for this run"},
        {{"--to", "aac", "-b", "96"},
         {{"AACABRBitRate", "96"}, {"AACVBR", "0"}},
         "AACABRBitRate applies only with AutoDestAACEncodingParam=0; switched off for this run"},
        {{"--to", "wav", "-r", "8000", "--mono"},
         {{"WAVSampleRate", "8000"}, {"WAVChannelNum", "1"}, {"AutoDestWAVEncodingParam", "0"}},
         "WAVSampleRate applies only with AutoDestWAVEncodingParam=0; switched off for this run"},
        {{"--to", "mp3", "--mono"},
         {{"MP3ChannelMode", "3"}},
         "MP3ChannelMode applies only with AutoDestMP3EncodingParam=0; switched off for this run"},
        {{"--to", "ogg", "--stereo", "--rate", "22050"},
         {{"OGGChannels", "2"}, {"OGGSampleRate", "22050"}},
         "OGGSampleRate applies only with AutoDestOGGEncodingParam=0; switched off for this run"},
        {{"--to", "wav", "--mono-from", "right"},
         {{"MonoType", "2"}, {"AutoDestWAVEncodingParam", "1"}},
         ""},
        {{"--to", "mp3", "--gain", "150"}, {{"AmplifyMp3", "1"}, {"AmplifyMp3Coeff", "150"}}, ""},
        {{"--to", "ogg", "--tags", "none"}, {{"OGGID3TagType", "2"}}, ""},
        {{"--to", "m4a", "--artist", "Ann", "--track", "7", "--comment", "c"},
         {{"M4AID3TagType", "0"},
          {"M4ATag.Artist", "Ann"},
          {"M4ATag.TrackNumType", "2"},
          {"M4ATag.CustomTrackNum", "7"},
          {"M4ATag.Comment", "c"}},
         ""},
        {{"--to", "mp3", "--title", "T", "--tags", "preset"},
         {{"MP3Tag.TitleAsFileName", "0"}, {"MP3Tag.Title", "T"}, {"MP3ID3TagType", "0"}},
         ""},
        {{"--to", "wav", "-o", "rel/../out"},
         {{"DestOutputFolderOpt", "399"},
          {"DestSpecifiedFolder", (std::filesystem::current_path() / "out").string()}},
         ""},
        {{"--to", "wav", "--same-folder", "--keep-tree", "--if-exists", "skip"},
         {{"DestOutputFolderOpt", "199"}, {"CreateDirs", "1"}, {"TargetExistsOpt", "33"}},
         ""},
        {{"--to", "wav", "--if-exists", "overwrite"}, {{"TargetExistsOpt", "22"}}, ""},
    };
    for (const SetsCase& c : cases) {
        std::string joined;
        for (const std::string& word : c.words)
            joined += word + " ";
        SCOPED_TRACE(joined);
        settings = ConversionSettings(std::string());
        notices.clear();
        ASSERT_EQ(run(c.words), std::nullopt);
        for (const auto& [name, value] : c.expected)
            EXPECT_EQ(settings.getValue(name)->value, value) << name;
        EXPECT_EQ(notices, c.notice.empty() ? Words{} : Words{c.notice});
    }
}

TEST_F(ConvertOptionsTest, BadWordsGetOneMessage) {
    test::writeFileBytes(path("file"), {1});
    const std::vector<std::pair<Words, std::string>> cases = {
        {{"--to", "wav", "--bitrate", "0"},
         "convert: --bitrate wants a bit rate in kbit/s from 1 to 2000, not \"0\""},
        {{"--to", "mp3", "-b", "12x"},
         "convert: --bitrate wants a bit rate in kbit/s from 1 to 2000, not \"12x\""},
        {{"--to", "wav", "--rate", "abc"},
         "convert: --rate wants a sample rate in Hz from 1 to 384000, not \"abc\""},
        {{"--to", "wav", "--bitrate", "128"}, "convert: --bitrate does not apply to WAV output"},
        {{"--to", "aac", "-r", "8000"}, "convert: --rate does not apply to AAC output"},
        {{"--to", "amr", "--mono"}, "convert: --mono does not apply to AMR output"},
        {{"--to", "wav", "--tags", "none"}, "convert: --tags does not apply to WAV output"},
        {{"--to", "aac", "--artist", "x"}, "convert: a tag text does not apply to AAC output"},
        {{"--to", "mp3", "--bogus"}, "convert: unknown option --bogus; try velmora-cli --help"},
        {{"--to", "mp3", "--json=1"}, "convert: --json takes no value"},
        {{"--to", "mp3", "--if-exists", "keep"},
         "convert: --if-exists wants rename, overwrite or skip, not \"keep\""},
        {{"--to", "mp3", "--mono-from", "centre"},
         "convert: --mono-from wants mix, left or right, not \"centre\""},
        {{"--to", "mp3", "--mono", "--stereo"},
         "convert: --mono and --stereo contradict each other"},
        {{"--to", "mp3", "-o", "x", "--same-folder"},
         "convert: --output-dir and --same-folder contradict each other"},
        {{"--to", "mp3", "--tags", "source", "--artist", "x"},
         "convert: a tag text needs --tags preset"},
        {{"--to", "mp3", "-o", path("file").string()},
         "convert: --output-dir " + path("file").string() + " is not a folder"},
        {{"--to", "mp3", "--gain", "5"}, "convert: 5 is not a valid value for AmplifyMp3Coeff"},
        {{"--to", "mp3", "-"},
         "convert: - (standard input) is not accepted: a conversion needs a file it can read "
         "twice; name the file instead"},
        {{"--to", "mp3", "-b"}, "convert: -b needs a value (KBPS)"},
        {{"--to", "mp3", "-j", "0"},
         "convert: --jobs wants a number of files from 1 to 64, not \"0\""},
        {{"--to", "mp3", "--jobs", "-2"},
         "convert: --jobs wants a number of files from 1 to 64, not \"-2\""},
        {{"--to", "mp3", "--jobs=two"},
         "convert: --jobs wants a number of files from 1 to 64, not \"two\""},
        {{"--to", "mp3", "-j", "3x"},
         "convert: --jobs wants a number of files from 1 to 64, not \"3x\""},
        {{"--to", "mp3", "-j", "65"},
         "convert: --jobs wants a number of files from 1 to 64, not \"65\""},
    };
    for (const auto& [words, message] : cases) {
        SCOPED_TRACE(message);
        notices.clear();
        // The value-less "-b" must not swallow the appended input.
        Words given = words;
        ConvertOptions options;
        const auto problem = given.back() == "-b" ? options.parse(given) : run(given);
        EXPECT_EQ(problem, message);
        EXPECT_TRUE(notices.empty());
    }
}

TEST_F(ConvertOptionsTest, JobsDefaultToTheProcessorCores) {
    test::writeFileBytes(path("file"), {1});
    ConvertOptions byDefault;
    ASSERT_FALSE(byDefault.parse({"--to", "mp3", path("file").string()}));
    EXPECT_EQ(byDefault.jobs(),
              std::clamp<int>(static_cast<int>(std::thread::hardware_concurrency()), 1, 64));
    ConvertOptions given;
    ASSERT_FALSE(given.parse({"--to", "mp3", "-j", "3", path("file").string()}));
    EXPECT_EQ(given.jobs(), 3);
}

TEST_F(ConvertOptionsTest, TableNamesEveryOptionOnce) {
    std::set<std::string_view> seen;
    for (const CliOption& option : ConvertOptions::table()) {
        EXPECT_TRUE(seen.insert(option.longName).second) << option.longName;
        if (!option.shortName.empty()) {
            EXPECT_TRUE(seen.insert(option.shortName).second) << option.shortName;
        }
        // Every option in the table is accepted by the parser.
        Words words = {"--to", "mp3", std::string(option.longName)};
        if (!option.valueName.empty())
            words.push_back(option.longName == "--to"    ? "mp3"
                            : option.longName == "--set" ? "MP3BitRate=128"
                                                         : "1");
        ConvertOptions options;
        const auto problem = options.parse(words);
        EXPECT_TRUE(!problem || problem->find("unknown option") == std::string::npos) << *problem;
    }
}

} // namespace
} // namespace velmora::cli
