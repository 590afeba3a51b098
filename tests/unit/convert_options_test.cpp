// The convert options: each short option against the stored values it changes for the run
// (Auto switched off with its notice), and each bad word against its one-line message.

#include "app/cli/convert_options.h"
#include "tests/unit/test_support.h"
#include "tests/unit/word_tables.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace velmora::cli {
namespace {

using test::Words;
using test::words;

class ConvertOptionsTest : public test::SandboxTest {
protected:
    // Parses the words with an input appended, applies them to fresh defaults and returns the
    // problem, if any. settings and notices keep the result.
    std::optional<std::string> run(Words given) {
        given.push_back("a.wav");
        settings = ConversionSettings(std::string());
        notices.clear();
        ConvertOptions options;
        if (auto problem = options.parse(given))
            return problem;
        return options.applyTo(settings, notices);
    }

    ConversionSettings settings{std::string()};
    std::vector<std::string> notices;
};

// The notice of a setting whose format's Auto flag the run switched off.
std::string autoOff(const std::string& setting) {
    return setting + " applies only with AutoDest" + setting.substr(0, 3) +
           "EncodingParam=0; switched off for this run";
}

TEST_F(ConvertOptionsTest, EachOptionSetsItsStoredValues) {
    const std::string out = (std::filesystem::current_path() / "out").string();
    const struct {
        std::string line;
        std::string expected;        // name=value of settings after the run
        std::string autoOffFor = {}; // the setting whose notice comes; empty: none
    } cases[] = {
        {"--to mp3 -b 256", "MP3BitRate=256 AutoDestMP3EncodingParam=0 OutputFormat=1000",
         "MP3BitRate"},
        {"--to mp3 --set MP3BitRate=320", "MP3BitRate=320 AutoDestMP3EncodingParam=0",
         "MP3BitRate"},
        {"--to mp3 --set mp3bitrate=320", "MP3BitRate=320", "MP3BitRate"},
        // The user's own Auto flag wins; --set wins over a shorthand.
        {"--to mp3 -b 256 --set AutoDestMP3EncodingParam=1",
         "MP3BitRate=256 AutoDestMP3EncodingParam=1"},
        {"--to mp3 -b 256 --set MP3BitRate=320", "MP3BitRate=320", "MP3BitRate"},
        // An encoding value of another format leaves this format's Auto alone.
        {"--to wav --set MP3BitRate=320", "AutoDestMP3EncodingParam=1"},
        {"--to wma --bitrate=192", "WMABitRate=192000 AutoDestWMAEncodingParam=0", "WMABitRate"},
        {"--to m4r -b 256", "M4AABRBitRate=256 M4AVBR=0 AutoDestM4AEncodingParam=0",
         "M4AABRBitRate"},
        {"--to aac -b 96", "AACABRBitRate=96 AACVBR=0", "AACABRBitRate"},
        {"--to wav -r 8000 --mono", "WAVSampleRate=8000 WAVChannelNum=1 AutoDestWAVEncodingParam=0",
         "WAVSampleRate"},
        {"--to mp3 --mono", "MP3ChannelMode=3", "MP3ChannelMode"},
        {"--to ogg --stereo --rate 22050", "OGGChannels=2 OGGSampleRate=22050", "OGGSampleRate"},
        {"--to wav --mono-from right", "MonoType=2 AutoDestWAVEncodingParam=1"},
        {"--to mp3 --gain 150", "AmplifyMp3=1 AmplifyMp3Coeff=150"},
        {"--to ogg --tags none", "OGGID3TagType=2"},
        {"--to m4a --artist Ann --track 7 --comment c",
         "M4AID3TagType=0 M4ATag.Artist=Ann M4ATag.TrackNumType=2 M4ATag.CustomTrackNum=7 "
         "M4ATag.Comment=c"},
        {"--to mp3 --title T --tags preset",
         "MP3Tag.TitleAsFileName=0 MP3Tag.Title=T MP3ID3TagType=0"},
        {"--to wav -o rel/../out", "DestOutputFolderOpt=399 DestSpecifiedFolder=" + out},
        {"--to wav --same-folder --keep-tree --if-exists skip",
         "DestOutputFolderOpt=199 CreateDirs=1 TargetExistsOpt=33"},
        {"--to wav --if-exists overwrite", "TargetExistsOpt=22"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ(run(words(c.line)), std::nullopt);
        for (const auto& [name, value] : test::pairs(c.expected))
            EXPECT_EQ(settings.getValue(name)->value, value) << name;
        EXPECT_EQ(notices, c.autoOffFor.empty() ? Words{} : Words{autoOff(c.autoOffFor)});
    }
}

TEST_F(ConvertOptionsTest, BadWordsGetOneMessage) {
    const std::string file = path("file").string();
    test::writeFileBytes(file, {1});
    const auto jobs = [](const std::string& value) {
        return "--jobs wants a number of files from 1 to 64, not \"" + value + "\"";
    };
    const std::pair<std::string, std::string> cases[] = {
        {"--to wav --bitrate 0", "--bitrate wants a bit rate in kbit/s from 1 to 2000, not \"0\""},
        {"--to mp3 -b 12x", "--bitrate wants a bit rate in kbit/s from 1 to 2000, not \"12x\""},
        {"--to wav --rate abc", "--rate wants a sample rate in Hz from 1 to 384000, not \"abc\""},
        {"--to wav --bitrate 128", "--bitrate does not apply to WAV output"},
        {"--to aac -r 8000", "--rate does not apply to AAC output"},
        {"--to amr --mono", "--mono does not apply to AMR output"},
        {"--to wav --tags none", "--tags does not apply to WAV output"},
        {"--to aac --artist x", "a tag text does not apply to AAC output"},
        {"--to mp3 --bogus", "unknown option --bogus; try velmora-cli --help"},
        {"--to mp3 --json=1", "--json takes no value"},
        {"--to mp3 --if-exists keep", "--if-exists wants rename, overwrite or skip, not \"keep\""},
        {"--to mp3 --mono-from centre", "--mono-from wants mix, left or right, not \"centre\""},
        {"--to mp3 --mono --stereo", "--mono and --stereo contradict each other"},
        {"--to mp3 -o x --same-folder", "--output-dir and --same-folder contradict each other"},
        {"--to mp3 --tags source --artist x", "a tag text needs --tags preset"},
        {"--to mp3 -o " + file, "--output-dir " + file + " is not a folder"},
        {"--to mp3 --gain 5", "5 is not a valid value for AmplifyMp3Coeff"},
        {"--to mp3 -",
         "- (standard input) is not accepted: a conversion needs a file it can read twice; name "
         "the file instead"},
        {"--to mp3 -b", "-b needs a value (KBPS)"},
        {"--to mp3 -j 0", jobs("0")},
        {"--to mp3 --jobs -2", jobs("-2")},
        {"--to mp3 --jobs=two", jobs("two")},
        {"--to mp3 -j 3x", jobs("3x")},
        {"--to mp3 -j 65", jobs("65")},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        notices.clear();
        // The value-less "-b" must not swallow the appended input.
        ConvertOptions options;
        EXPECT_EQ(line.ends_with("-b") ? options.parse(words(line)) : run(words(line)),
                  "convert: " + message);
        EXPECT_TRUE(notices.empty());
    }
}

TEST_F(ConvertOptionsTest, JobsDefaultToTheProcessorCores) {
    ConvertOptions byDefault;
    ConvertOptions given;
    ASSERT_FALSE(byDefault.parse(words("--to mp3 a.wav")));
    ASSERT_FALSE(given.parse(words("--to mp3 -j 3 a.wav")));
    EXPECT_EQ(byDefault.jobs(),
              std::clamp<int>(static_cast<int>(std::thread::hardware_concurrency()), 1, 64));
    EXPECT_EQ(given.jobs(), 3);
}

TEST_F(ConvertOptionsTest, TableNamesEveryOptionOnceAndTheParserTakesEach) {
    std::set<std::string_view> seen;
    for (const CliOption& option : ConvertOptions::table()) {
        EXPECT_TRUE(seen.insert(option.longName).second) << option.longName;
        if (!option.shortName.empty()) {
            EXPECT_TRUE(seen.insert(option.shortName).second) << option.shortName;
        }
        Words given = {"--to", "mp3", std::string(option.longName)};
        if (!option.valueName.empty())
            given.push_back(option.longName == "--to"    ? "mp3"
                            : option.longName == "--set" ? "MP3BitRate=128"
                                                         : "1");
        ConvertOptions options;
        const auto problem = options.parse(given);
        EXPECT_TRUE(!problem || problem->find("unknown option") == std::string::npos) << *problem;
    }
}

} // namespace
} // namespace velmora::cli
