// The built command-line program run in the sandbox: convert (status lines, exit codes, run-only
// overrides), settings (set, get, list, path, concurrent writers, a damaged store), probe and
// decode on WAV files made here or by sox.

#include "engine/conversion_settings.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

using CliRun = test::ProgramRun;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class CliTest : public test::SandboxTest {
protected:
    // Runs velmora-cli with the words given, standard input not a terminal; a hang is stopped
    // (exit status 124). cwd: the folder the program starts in; the test's own when empty.
    CliRun cli(const std::vector<std::string>& words, const std::filesystem::path& cwd = {}) {
        CliRun run = test::runProgram(VELMORA_CLI_PATH, words, path("stderr.txt"), 120, cwd);
        std::filesystem::remove(path("stderr.txt"));
        return run;
    }

    std::string get(const std::string& name) {
        const CliRun run = cli({"settings", "get", name});
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    }

    std::filesystem::path storeFile() const { return path("config/velmora.reg"); }
    std::filesystem::path documents() const { return path("home/Documents"); }

    // A short 16-bit stereo WAV of a few blocks.
    Bytes writeSource(const std::string& name, std::size_t frames = 3000) {
        std::vector<std::int16_t> samples(frames * 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>((i * 2654435761u) >> 16);
        const Bytes file = test::pcmWavBytes(2, 44100, 16, test::s16Bytes(samples));
        test::writeFileBytes(path(name), file);
        return file;
    }
};

// ---------------------------------------------------------------------------------------------
// convert

TEST_F(CliTest, ConvertPrintsOneStatusLinePerFile) {
    const Bytes a = writeSource("a.wav");
    const Bytes b = writeSource("b b.wav", 5000);
    const std::string lineA = path("a.wav").string() + " -> " + (documents() / "a.wav").string();
    const std::string lineB =
        path("b b.wav").string() + " -> " + (documents() / "b b.wav").string();
    // One job prints in batch order; two print each file as it ends.
    CliRun run = cli({"convert", "--to", "wav", "-j", "2", path("a.wav"), path("b b.wav")});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()),
              (std::set<std::string>{lineA, lineB}));
    EXPECT_EQ(lines.size(), 2u);
    std::filesystem::remove_all(documents());
    run = cli({"convert", "--to", "wav", "-j", "1", path("a.wav"), path("b b.wav")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, lineA + "\n" + lineB + "\n");
    EXPECT_EQ(run.err, "");
    // Stored defaults: the WAV output goes to Documents with the source's own format.
    EXPECT_EQ(test::folderNames(documents()), (std::vector<std::string>{"a.wav", "b b.wav"}));
    EXPECT_EQ(test::readFileBytes(documents() / "a.wav"), a);
    EXPECT_EQ(test::readFileBytes(documents() / "b b.wav"), b);
}

TEST_F(CliTest, ConvertAcceptsTheNumericCode) {
    writeSource("a.wav");
    const CliRun run = cli({"convert", "--to", "2000", path("a.wav")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, path("a.wav").string() + " -> " + (documents() / "a.wav").string() + "\n");
}

TEST_F(CliTest, ConvertExitsOneWhenAFileFails) {
    writeSource("a.wav");
    const std::string garbage = "not a sound file";
    test::writeFileBytes(path("bad.wav"), Bytes(garbage.begin(), garbage.end()));

    CliRun run = cli({"convert", "--to", "wav", "-j", "1", path("bad.wav"), path("a.wav")});
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_TRUE(lines[0].starts_with(path("bad.wav").string() + ": ")) << lines[0];
    EXPECT_GT(lines[0].size(), path("bad.wav").string().size() + 2);
    EXPECT_EQ(lines[1], path("a.wav").string() + " -> " + (documents() / "a.wav").string());
    EXPECT_EQ(test::folderNames(documents()), (std::vector<std::string>{"a.wav"}));

    // A target that the stored policy skips.
    ASSERT_EQ(cli({"settings", "set", "TargetExistsOpt", "33"}).status, 0);
    run = cli({"convert", "--to", "wav", path("a.wav")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, path("a.wav").string() + ": Target exists and skipped\n");
}

TEST_F(CliTest, UsageErrorsExitTwoWithOneLine) {
    writeSource("a.wav");
    const std::string a = path("a.wav").string();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"convert"},
        {"convert", a},
        {"convert", "--to"},
        {"convert", "--to", "wav"},
        {"convert", "--to", "flac", a},
        {"convert", "--to", "9999", a},
        {"convert", "--to", "wav", "--bogus", a},
        {"convert", "--to", "wav", "--set", a},
        {"convert", "--to", "wav", "--set", "=1", a},
        {"convert", "--to", "wav", "--set", "NoSuchSetting=1", a},
        {"convert", "--to", "wav", "--set", "MP3ChannelMode=2", a},
        {"convert", "--to", "wav", "--set", "MonoType=left", a},
        {"convert", "--to", "wav", "a.wav", "--set"},
        {"settings"},
        {"settings", "list", "extra"},
        {"settings", "get"},
        {"settings", "get", "NoSuchSetting"},
        {"settings", "set", "MonoType"},
        {"settings", "set", "NoSuchSetting", "1"},
        {"settings", "set", "MonoType", "1.5"},
        {"settings", "set", "AmplifyWavCoeff", "5"},
        {"settings", "set", "MonoType", "1", "2"},
        {"settings", "path", "x"},
        {"settings", "remove", "MonoType"},
    };
    for (const auto& words : cases) {
        std::string joined;
        for (const auto& w : words)
            joined += w + " ";
        SCOPED_TRACE(joined);
        const CliRun run = cli(words);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
    // Nothing was converted and nothing was stored.
    EXPECT_FALSE(std::filesystem::exists(documents()) && !std::filesystem::is_empty(documents()));
    EXPECT_FALSE(std::filesystem::exists(storeFile()));
}

TEST_F(CliTest, SetOverridesApplyToTheRunOnly) {
    if (!test::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    writeSource("a.wav", 44100);
    ASSERT_EQ(cli({"settings", "set", "WAVSampleRate", "22050"}).status, 0);
    ASSERT_EQ(cli({"settings", "set", "OutputFormat", "6800"}).status, 0);
    const Bytes storeBefore = test::readFileBytes(storeFile());

    const CliRun run = cli({"convert", "--to", "wav", "--set", "AutoDestWAVEncodingParam=0",
                            "--set", "WAVSampleRate=8000", "--set", "WAVChannelNum=1", "--set",
                            "wavbitspersample=8", "--set", "MonoType=2", path("a.wav")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, path("a.wav").string() + " -> " + (documents() / "a.wav").string() + "\n");
    const auto fields = test::ffprobeStream(documents() / "a.wav");
    EXPECT_EQ(fields.at("sample_rate"), "8000");
    EXPECT_EQ(fields.at("channels"), "1");
    EXPECT_EQ(fields.at("bits_per_sample"), "8");

    EXPECT_EQ(test::readFileBytes(storeFile()), storeBefore);
    EXPECT_EQ(get("WAVSampleRate"), "22050\n");
    EXPECT_EQ(get("AutoDestWAVEncodingParam"), "1\n");
    EXPECT_EQ(get("WAVChannelNum"), "2\n");
    EXPECT_EQ(get("WAVBitsPerSample"), "16\n");
    EXPECT_EQ(get("MonoType"), "0\n");
    EXPECT_EQ(get("OutputFormat"), "6800\n");
}

TEST_F(CliTest, StoredSettingsAreUsedByConvert) {
    if (!test::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    writeSource("a.wav", 44100);
    ASSERT_EQ(cli({"settings", "set", "AutoDestWAVEncodingParam", "0"}).status, 0);
    ASSERT_EQ(cli({"settings", "set", "WAVSampleRate", "11025"}).status, 0);
    ASSERT_EQ(cli({"settings", "set", "DestOutputFolderOpt", "199"}).status, 0);
    const CliRun run = cli({"convert", "--to", "wav", path("a.wav")});
    EXPECT_EQ(run.status, 0) << run.err;
    // Next to the source now, renamed because the source holds the name.
    EXPECT_EQ(run.out, path("a.wav").string() + " -> " + path("a_1.wav").string() + "\n");
    EXPECT_EQ(test::ffprobeStream(path("a_1.wav")).at("sample_rate"), "11025");
}

TEST_F(CliTest, ConvertWalksAFolderOnceWithTheExtensionFilter) {
    std::filesystem::create_directories(path("in/sub"));
    const Bytes a = writeSource("in/a.wav");
    const Bytes b = writeSource("in/sub/b.wav", 4000);
    const std::string text = "notes";
    test::writeFileBytes(path("in/notes.txt"), Bytes(text.begin(), text.end()));
    std::filesystem::create_directory_symlink("..", path("in/sub/loop")); // back to in/
    ASSERT_EQ(cli({"settings", "set", "EnableExtFilter", "1"}).status, 0);
    ASSERT_EQ(cli({"settings", "set", "FilterExts", "wav,flac"}).status, 0);

    // A relative input and a relative output folder, both from the sandbox.
    CliRun run = cli({"convert", "--to", "wav", "-j", "1", "-o", "out", "in"}, root());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "in/a.wav -> " + path("out/a.wav").string() + "\n" + "in/sub/b.wav -> " +
                           path("out/b.wav").string() + "\n");
    EXPECT_EQ(test::readFileBytes(path("out/a.wav")), a);
    EXPECT_EQ(test::readFileBytes(path("out/b.wav")), b);

    // Without the filter the text file is listed and refused, in one line for the folder.
    run = cli({"convert", "--to", "wav", "-o", "out", "--if-exists", "overwrite", "--set",
               "EnableExtFilter=0", "-q", "in"},
              root());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "in: 1 of 3 files could not be added (first: notes.txt: not a supported "
                       "audio or video file)\n");
    EXPECT_EQ(test::folderNames(path("out")), (std::vector<std::string>{"a.wav", "b.wav"}));

    // A folder with nothing at all, and a file that is no sound.
    std::filesystem::create_directory(path("empty"));
    // probe walks the same way: the header and the two sounds.
    run = cli({"probe", "in"}, root());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(splitLines(run.out).size(), 3u) << run.out;
    run = cli({"convert", "--to", "wav", "empty", "in/sub/../notes.txt"}, root());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "empty: no files in this folder\nin/sub/../notes.txt: not a supported audio "
                       "or video file\n");
}

TEST_F(CliTest, ConvertJsonIsOneObjectPerFileAndASummary) {
    if (!test::haveTool("python3"))
        GTEST_SKIP() << "python3 not installed";
    writeSource("a.wav");
    const CliRun run = cli({"convert", "--json", "--to", "wav", path("a.wav"), "missing.wav"});
    EXPECT_EQ(run.status, 1) << run.err;
    test::writeFileBytes(path("out.json"), Bytes(run.out.begin(), run.out.end()));
    // An independent JSON reader checks every line and the byte count against the file.
    const std::string script =
        "import json, os, sys\n"
        "for line in open(sys.argv[1]):\n"
        "    o = json.loads(line)\n"
        "    if 'input' in o:\n"
        "        size = os.path.getsize(o['output']) if o['output'] else 0\n"
        "        print(o['input'], o['output'], o['status'], o['ok'], o['bytes'] == size,\n"
        "              isinstance(o['seconds'], float), sep='|')\n"
        "    else:\n"
        "        print(o['files'], o['converted'], o['failed'], o['cancelled'], sep='|')\n";
    test::writeFileBytes(path("read.py"), Bytes(script.begin(), script.end()));
    std::string parsed;
    ASSERT_EQ(test::runCommand("python3 " + test::shellQuote(path("read.py").string()) + " " +
                                   test::shellQuote(path("out.json").string()),
                               &parsed),
              0)
        << run.out;
    // Inputs refused before the batch starts are reported first.
    EXPECT_EQ(parsed, "missing.wav||no such file or folder|False|True|True\n" +
                          path("a.wav").string() + "|" + (documents() / "a.wav").string() +
                          "|a.wav|True|True|True\n" + "2|1|1|False\n");
}

TEST_F(CliTest, EncodingOptionSwitchesAutoOffWithANotice) {
    if (!test::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    writeSource("a.wav", 44100);
    const CliRun run = cli(
        {"convert", "--to", "wav", "-r", "8000", "--mono", "--mono-from", "left", path("a.wav")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "WAVSampleRate applies only with AutoDestWAVEncodingParam=0; switched off "
                       "for this run\n");
    const auto fields = test::ffprobeStream(documents() / "a.wav");
    EXPECT_EQ(fields.at("sample_rate"), "8000");
    EXPECT_EQ(fields.at("channels"), "1");
    EXPECT_EQ(get("AutoDestWAVEncodingParam"), "1\n");
}

TEST_F(CliTest, BashCompletionOffersTheOptionTable) {
    const CliRun script = cli({"completion", "bash"});
    ASSERT_EQ(script.status, 0);
    test::writeFileBytes(path("completion.bash"), Bytes(script.out.begin(), script.out.end()));
    const auto complete = [&](const std::string& words, int index) {
        std::string out;
        test::runCommand("bash -c " +
                             test::shellQuote("source " + path("completion.bash").string() +
                                              "; COMP_WORDS=(" + words +
                                              "); COMP_CWORD=" + std::to_string(index) +
                                              "; _velmora_cli; echo \"${COMPREPLY[*]}\""),
                         &out);
        return out;
    };
    EXPECT_EQ(complete("velmora-cli conv", 1), "convert\n");
    EXPECT_EQ(complete("velmora-cli convert --if-", 2), "--if-exists\n");
    EXPECT_EQ(complete("velmora-cli convert --if-exists ''", 3), "rename overwrite skip\n");
    EXPECT_EQ(complete("velmora-cli convert --to m4", 3), "m4a m4b m4r\n");
    EXPECT_EQ(complete("velmora-cli settings reset MP3Bit", 3), "MP3BitRate\n");
    EXPECT_EQ(cli({"completion", "fish"}).status, 2);
}

TEST_F(CliTest, ZshCompletionHandsTheOptionTableToArguments) {
    if (!test::haveTool("zsh"))
        GTEST_SKIP() << "zsh not installed";
    const CliRun script = cli({"completion", "zsh"});
    ASSERT_EQ(script.status, 0);
    test::writeFileBytes(path("_velmora-cli"), Bytes(script.out.begin(), script.out.end()));
    // zsh's completion functions replaced by ones that print what they are given.
    std::string specs;
    ASSERT_EQ(test::runCommand(
                  "zsh -c " + test::shellQuote("words=(velmora-cli convert ''); CURRENT=3; "
                                               "_arguments() { print -rl -- \"$@\" }; source " +
                                               path("_velmora-cli").string()),
                  &specs),
              0);
    const auto lines = splitLines(specs);
    const std::set<std::string> found(lines.begin(), lines.end());
    for (const std::string expected :
         {"(-o --output-dir)-o[write into DIR]:DIR:_files -/",
          "--if-exists[when the output file exists, rename, overwrite or skip]:POLICY:(rename "
          "overwrite skip)",
          "*--set[change a stored setting for this run only]:NAME=VALUE: ",
          "--gain[amplify to PERCENT of the source's volume]:PERCENT: ", "--mono[one channel]",
          "(-q --quiet)--quiet[print only the files that failed]"})
        EXPECT_EQ(found.count(expected), 1u) << expected << "\n" << specs;
}

// ---------------------------------------------------------------------------------------------
// settings

TEST_F(CliTest, SettingsSetGetListAndPath) {
    CliRun run = cli({"settings", "path"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, storeFile().string() + "\n");

    run = cli({"settings", "list"});
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> defaults = splitLines(run.out);
    // Every value the settings know, with its default.
    const ConversionSettings reference;
    const auto values = reference.listValues();
    ASSERT_EQ(defaults.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(defaults[i],
                  values[i].name + "\t" +
                      (values[i].type == RegistryStore::ValueType::Dword ? "dword" : "sz") + "\t" +
                      values[i].value);
    EXPECT_NE(std::find(defaults.begin(), defaults.end(), "MP3BitRate\tdword\t128"),
              defaults.end());

    const std::string text = "Q \"x\" \\ y\tz";
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"MP3BitRate", "192"},
                                                          {"mp3tag.artist", text},
                                                          {"Folder", "/music/"},
                                                          {"MonoType", "1"}}) {
        run = cli({"settings", "set", name, value});
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(std::filesystem::exists(storeFile()));
    EXPECT_EQ(get("MP3BitRate"), "192\n");
    EXPECT_EQ(get("mp3bitrate"), "192\n");
    EXPECT_EQ(get("MP3Tag.Artist"), text + "\n");
    EXPECT_EQ(get("Folder"), "/music/\n");
    EXPECT_EQ(get("MonoType"), "1\n");

    run = cli({"settings", "list"});
    std::vector<std::string> expected = defaults;
    for (std::string& line : expected) {
        if (line == "MP3BitRate\tdword\t128")
            line = "MP3BitRate\tdword\t192";
        if (line == "MP3Tag.Artist\tsz\t")
            line = "MP3Tag.Artist\tsz\t" + text;
        if (line == "Folder\tsz\t")
            line = "Folder\tsz\t/music/";
        if (line == "MonoType\tdword\t0")
            line = "MonoType\tdword\t1";
    }
    EXPECT_EQ(splitLines(run.out), expected);
}

TEST_F(CliTest, SettingsResetRestoresDefaults) {
    ASSERT_EQ(cli({"settings", "set", "MP3BitRate", "192"}).status, 0);
    ASSERT_EQ(cli({"settings", "set", "MonoType", "2"}).status, 0);
    EXPECT_EQ(cli({"settings", "reset", "mp3bitrate"}).status, 0);
    EXPECT_EQ(get("MP3BitRate"), "128\n");
    EXPECT_EQ(get("MonoType"), "2\n");
    EXPECT_EQ(cli({"settings", "reset"}).status, 0);
    EXPECT_EQ(get("MonoType"), "0\n");
    EXPECT_EQ(cli({"settings", "reset", "NoSuchSetting"}).status, 2);

    const CliRun formats = cli({"formats", "--json"});
    EXPECT_EQ(formats.status, 0);
    const auto lines = splitLines(formats.out);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], R"({"code":1000,"word":"mp3","extension":".mp3","text":" to MP3"})");
}

TEST_F(CliTest, ConcurrentSettersLoseNoValue) {
    // A value other than the default for as many names as the store has, each set once.
    const ConversionSettings defaults;
    std::vector<std::pair<std::string, std::string>> chosen;
    for (const auto& value : defaults.listValues()) {
        std::optional<std::string> pick;
        if (value.type == RegistryStore::ValueType::Sz) {
            pick = "v " + value.name;
        } else {
            const int current = std::stoi(value.value);
            for (const int candidate : {current + 1, current - 1, 1, 0, 2, 11, 22, 33}) {
                ConversionSettings trial = defaults;
                if (candidate != current && trial.setValue(value.name, std::to_string(candidate)) ==
                                                ConversionSettings::SetResult::Ok) {
                    pick = std::to_string(candidate);
                    break;
                }
            }
        }
        if (pick)
            chosen.emplace_back(value.name, *pick);
    }
    ASSERT_GE(chosen.size(), 100u);
    chosen.resize(100);

    std::string scripts[2];
    for (std::size_t i = 0; i < chosen.size(); ++i)
        scripts[i % 2] += test::shellQuote(VELMORA_CLI_PATH) + " settings set " +
                          test::shellQuote(chosen[i].first) + " " +
                          test::shellQuote(chosen[i].second) + " || echo failed " +
                          test::shellQuote(chosen[i].first) + "\n";
    test::writeFileBytes(path("a.sh"), Bytes(scripts[0].begin(), scripts[0].end()));
    test::writeFileBytes(path("b.sh"), Bytes(scripts[1].begin(), scripts[1].end()));
    std::string failures;
    ASSERT_EQ(test::runCommand("sh " + test::shellQuote(path("a.sh").string()) + " & sh " +
                                   test::shellQuote(path("b.sh").string()) + " & wait",
                               &failures),
              0);
    EXPECT_EQ(failures, "");

    const CliRun run = cli({"settings", "list"});
    std::map<std::string, std::string> listed;
    for (const std::string& line : splitLines(run.out)) {
        const auto first = line.find('\t');
        const auto second = line.find('\t', first + 1);
        listed[line.substr(0, first)] = line.substr(second + 1);
    }
    for (const auto& [name, value] : chosen)
        EXPECT_EQ(listed[name], value) << name;
}

TEST_F(CliTest, StoreCutOffHalfWayLoadsWhatIsLeft) {
    const std::vector<std::pair<std::string, std::string>> stored = {
        {"Folder", "/music/"},          {"MonoType", "2"},
        {"WAVSampleRate", "22050"},     {"MP3BitRate", "320"},
        {"AmplifyWavCoeff", "150"},     {"OGGBitRate", "192"},
        {"MP3Tag.Artist", "Someone"},   {"OGGTag.Title", "A title"},
        {"M4ATag.CustomTrackNum", "7"}, {"AMRMode", "3"},
    };
    for (const auto& [name, value] : stored)
        ASSERT_EQ(cli({"settings", "set", name, value}).status, 0) << name;
    const Bytes whole = test::readFileBytes(storeFile());
    const std::string text(whole.begin(), whole.end());
    const ConversionSettings defaults;

    for (const std::size_t cut : {whole.size() / 4, whole.size() / 2, whole.size() * 3 / 4}) {
        SCOPED_TRACE(cut);
        test::writeFileBytes(storeFile(), Bytes(whole.begin(), whole.begin() + cut));
        const CliRun listRun = cli({"settings", "list"});
        EXPECT_EQ(listRun.status, 0);
        EXPECT_EQ(splitLines(listRun.out).size(), defaults.listValues().size());
        int kept = 0;
        int lost = 0;
        for (const auto& [name, value] : stored) {
            SCOPED_TRACE(name);
            const std::string got = get(name);
            const std::string fallback = defaults.getValue(name)->value + "\n";
            // The value's line: after the name as the store spells it within its key.
            const std::string valueName = name.substr(name.find('.') + 1);
            const std::size_t line = text.find("\"" + valueName + "\"=");
            ASSERT_NE(line, std::string::npos);
            const std::size_t lineEnd = text.find('\n', line);
            if (lineEnd < cut) {
                EXPECT_EQ(got, value + "\n");
                ++kept;
            } else if (line >= cut) {
                EXPECT_EQ(got, fallback);
                ++lost;
            } else {
                EXPECT_TRUE(got == value + "\n" || got == fallback) << got;
            }
        }
        if (cut == whole.size() / 2) {
            EXPECT_GT(kept, 0);
            EXPECT_GT(lost, 0);
        }
    }
}

TEST_F(CliTest, CutOffLastLineStaysDamagedOnEverySave) {
    const std::string damaged = "\"MP3BitRate\"=dword:c0"; // no line break after it
    const std::string original = "Windows Registry Editor Version 5.00\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n" +
                                 damaged;
    std::filesystem::create_directories(storeFile().parent_path());
    test::writeFileBytes(storeFile(), Bytes(original.begin(), original.end()));
    EXPECT_EQ(get("MP3BitRate"), "128\n");
    for (const auto& [name, value] : {std::pair{"MP3Tag.Artist", "X"},
                                      std::pair{"OGGTag.Title", "Y"}, std::pair{"MonoType", "1"}}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(cli({"settings", "set", name, value}).status, 0);
        EXPECT_EQ(get(name), std::string(value) + "\n");
        EXPECT_EQ(get("MP3BitRate"), "128\n");
        const Bytes now = test::readFileBytes(storeFile());
        EXPECT_TRUE(std::string(now.begin(), now.end()).ends_with("\n" + damaged));
    }
}

TEST_F(CliTest, StoreCutInsideANumberNeverYieldsAThirdValue) {
    ASSERT_EQ(cli({"settings", "set", "WAVSampleRate", "22050"}).status, 0);
    const Bytes whole = test::readFileBytes(storeFile());
    const std::string text(whole.begin(), whole.end());
    const std::size_t at = text.find("\"WAVSampleRate\"=dword:");
    ASSERT_NE(at, std::string::npos);
    const std::size_t digits = at + std::string("\"WAVSampleRate\"=dword:").size();
    for (std::size_t keep = 0; keep <= 8; ++keep) {
        SCOPED_TRACE(keep);
        test::writeFileBytes(storeFile(), Bytes(whole.begin(), whole.begin() + digits + keep));
        const std::string got = get("WAVSampleRate");
        EXPECT_TRUE(got == "22050\n" || got == "44100\n") << got;
    }
}

// ---------------------------------------------------------------------------------------------
// inputs that are not regular files

TEST_F(CliTest, NonRegularInputsAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(path("fifo.wav").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(path("fifo.mp3").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", path("zero.ogg")); // a device that never ends
    std::filesystem::create_directory(path("folder.wma"));
    for (const std::string name : {"fifo.wav", "fifo.mp3", "zero.ogg", "folder.wma"}) {
        SCOPED_TRACE(name);
        const std::string input = path(name).string();
        std::vector<std::vector<std::string>> runs = {
            {"probe", input},
            {"probe", "--json", input},
            {"decode", input, "-o", path("out.raw").string()},
            {"convert", "--to", "wav", input}};
        for (const std::string decoder : {"wav", "aiff", "au", "bass", "ffmpeg", "ogg", "wma"})
            runs.push_back({"decode", "--decoder", decoder, input, "-o", path("out.raw").string()});
        for (const auto& words : runs) {
            SCOPED_TRACE(words[0] + " " + words[1]);
            const CliRun run = cli(words);
            EXPECT_EQ(run.status, 1);
            // probe and convert walk a folder: an empty one says so.
            const std::string why = name == "folder.wma" && words[0] != "decode"
                                        ? "no files in this folder"
                                        : "not a regular file";
            const std::string reason = words[1] == "--json"
                                           ? "\"path\":\"" + input + "\",\"error\":\"" + why + "\""
                                           : input + ": " + why;
            EXPECT_NE((run.out + run.err).find(reason), std::string::npos) << run.out << run.err;
        }
        EXPECT_FALSE(std::filesystem::exists(path("out.raw")));
    }
}

TEST_F(CliTest, SettingsFileThatIsAFifoIsNeverWaitedOn) {
    std::filesystem::create_directories(storeFile().parent_path());
    ASSERT_EQ(::mkfifo(storeFile().c_str(), 0600), 0);
    EXPECT_EQ(get("MP3BitRate"), "128\n");
    EXPECT_EQ(cli({"settings", "list"}).status, 0);
    writeSource("a.wav");
    EXPECT_EQ(cli({"convert", "--to", "wav", path("a.wav")}).status, 0);
    const CliRun set = cli({"settings", "set", "MP3BitRate", "192"});
    EXPECT_EQ(set.status, 1);
    struct stat status {};
    ASSERT_EQ(::lstat(storeFile().c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

// ---------------------------------------------------------------------------------------------
// partial files of killed conversions

TEST_F(CliTest, ConvertRemovesPartialFilesOfEndedProcessesInItsFolder) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child);
    std::filesystem::create_directories(documents());
    const std::vector<std::string> stale = {".old.wav.partial-" + dead + ".wav",
                                            ".other.mp3.partial-" + dead + ".mp3"};
    const std::vector<std::string> kept = {".live.wav.partial-" + std::to_string(::getpid()) +
                                               ".wav",
                                           "old.wav.partial-" + dead + ".wav", "notes.txt"};
    for (const auto& name : stale)
        test::writeFileBytes(documents() / name, {1});
    for (const auto& name : kept)
        test::writeFileBytes(documents() / name, {1});
    writeSource("a.wav");
    ASSERT_EQ(cli({"convert", "--to", "wav", path("a.wav")}).status, 0);
    std::vector<std::string> expected = kept;
    expected.push_back("a.wav");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::folderNames(documents()), expected);
}

// ---------------------------------------------------------------------------------------------
// probe and decode

struct WavFacts {
    int channels = 0;
    int rate = 0;
    int bits = 0;
    std::uint64_t dataBytes = 0;
    Bytes data;
};

// The fmt and data chunks of a RIFF/WAVE file, walked here independently of the reader.
WavFacts readWavFacts(const Bytes& file) {
    WavFacts facts;
    auto u16 = [&](std::size_t at) {
        return static_cast<unsigned>(file[at] | (file[at + 1] << 8));
    };
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at) |
                                          (static_cast<std::uint32_t>(u16(at + 2)) << 16));
    };
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::string id(file.begin() + static_cast<long>(at),
                             file.begin() + static_cast<long>(at) + 4);
        const std::uint32_t size = u32(at + 4);
        if (id == "fmt ") {
            facts.channels = static_cast<int>(u16(at + 10));
            facts.rate = static_cast<int>(u32(at + 12));
            facts.bits = static_cast<int>(u16(at + 22));
        } else if (id == "data") {
            facts.dataBytes = size;
            facts.data.assign(file.begin() + static_cast<long>(at) + 8,
                              file.begin() + static_cast<long>(at + 8 + size));
            break;
        }
        at += 8 + size + (size % 2);
    }
    return facts;
}

// The value of `key` in a one-line JSON object as this program writes it: a number, or a text
// without escapes. "missing" when the key is not there.
std::string jsonValue(const std::string& line, const std::string& key) {
    const std::string label = "\"" + key + "\":";
    const std::size_t at = line.find(label);
    if (at == std::string::npos)
        return "missing";
    std::size_t start = at + label.size();
    if (start < line.size() && line[start] == '"')
        return line.substr(start + 1, line.find('"', start + 1) - start - 1);
    std::size_t end = start;
    while (end < line.size() && (line[end] == '-' || (line[end] >= '0' && line[end] <= '9')))
        ++end;
    return line.substr(start, end - start);
}

TEST_F(CliTest, ProbeJsonFollowsTheWavHeaderFormulas) {
    if (!test::haveTool("sox"))
        GTEST_SKIP() << "sox not installed";
    struct Case {
        const char* name;
        int rate;
        int channels;
        int bits;
        const char* seconds;
    };
    const Case cases[] = {
        {"cd.wav", 44100, 2, 16, "2.5"},
        {"phone.wav", 8000, 1, 8, "3.7"},
        {"short.wav", 22050, 1, 16, "0.5"},
        {"long.wav", 11025, 2, 8, "61.3"},
    };
    std::vector<std::string> words = {"probe", "--json"};
    for (const Case& c : cases) {
        ASSERT_EQ(test::runCommand("sox -n -r " + std::to_string(c.rate) + " -c " +
                                   std::to_string(c.channels) + " -b " + std::to_string(c.bits) +
                                   " " + test::shellQuote(path(c.name).string()) + " synth " +
                                   c.seconds + " sine 440"),
                  0);
        words.push_back(path(c.name).string());
    }
    words.push_back(path(cases[0].name).string()); // named twice: listed once
    const CliRun run = cli(words);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), std::size(cases)) << run.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const WavFacts facts = readWavFacts(test::readFileBytes(path(c.name)));
        ASSERT_EQ(facts.rate, c.rate);
        // Which formulas apply depends on the decoder of the chain that described the file.
        const std::string decoder = jsonValue(lines[i], "decoder");
        std::uint64_t duration = 0;
        std::uint64_t bitrate = 0;
        if (decoder == "wav") {
            // The WAV reader: whole frames of the data chunk, and its bytes per second.
            const std::uint64_t frames = facts.dataBytes * 8 /
                                         static_cast<std::uint64_t>(facts.bits) /
                                         static_cast<std::uint64_t>(facts.channels);
            duration = frames / static_cast<std::uint64_t>(facts.rate);
            bitrate =
                duration != 0
                    ? facts.dataBytes / (duration * 125)
                    : static_cast<std::uint64_t>(facts.bits * facts.channels * facts.rate) / 1000;
        } else if (decoder == "bass") {
            // The general decoder: exact seconds of PCM, and a rounded average over the file.
            const double seconds = static_cast<double>(facts.dataBytes) /
                                   (facts.rate * facts.channels * facts.bits / 8.0);
            duration = static_cast<std::uint64_t>(seconds);
            bitrate = static_cast<std::uint64_t>(
                static_cast<double>(std::filesystem::file_size(path(c.name))) / (seconds * 125) +
                0.5);
        } else {
            ADD_FAILURE() << "decoder " << decoder;
        }
        EXPECT_NE(lines[i].find("\"path\":\"" + path(c.name).string() + "\""), std::string::npos)
            << lines[i];
        EXPECT_EQ(jsonValue(lines[i], "durationSeconds"), std::to_string(duration));
        EXPECT_EQ(jsonValue(lines[i], "bitrateKbps"), std::to_string(bitrate));
        EXPECT_EQ(jsonValue(lines[i], "sampleRate"), std::to_string(c.rate));
        EXPECT_EQ(jsonValue(lines[i], "channels"), std::to_string(c.channels));
        EXPECT_EQ(jsonValue(lines[i], "kind"), "2000");
    }
}

TEST_F(CliTest, DecodeWritesExactlyTheSourcePcm) {
    struct Case {
        int channels;
        int bits;
        std::size_t frames;
    };
    const Case cases[] = {{2, 16, 1152 * 3 + 5}, {1, 16, 999}, {1, 8, 2000}, {2, 8, 1152}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels, " + std::to_string(c.bits));
        Bytes data;
        for (std::size_t i = 0; i < c.frames * static_cast<std::size_t>(c.channels); ++i) {
            const auto value = static_cast<std::uint32_t>((i * 2654435761u) >> 13);
            if (c.bits == 16)
                test::appendU16LE(data, value & 0xFFFF);
            else
                data.push_back(static_cast<std::uint8_t>(value));
        }
        test::writeFileBytes(path("in.wav"), test::pcmWavBytes(c.channels, 16000, c.bits, data));
        const CliRun run = cli({"decode", path("in.wav"), "-o", path("out.raw")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(test::readFileBytes(path("out.raw")), data);
        EXPECT_EQ(jsonValue(run.out, "frames"), std::to_string(c.frames));
        EXPECT_EQ(jsonValue(run.out, "outChannels"), std::to_string(c.channels));
        EXPECT_EQ(jsonValue(run.out, "bitsPerSample"), std::to_string(c.bits));
    }
}

} // namespace
} // namespace velmora
