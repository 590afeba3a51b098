// velmora-cli convert with several jobs: forty small files of mixed formats whose names collide
// in pairs, converted again and again (every file converted, each output decodes with ffmpeg to
// its own source's length, numbered names in batch order); synthesized songs rendered side by
// side exactly as alone; Ctrl+C while two files are written.

#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/synthetic_songs.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 40;

class ParallelConvertCliTest : public test::SandboxTest {
protected:
    // Source i lasts 0.3 s + i × 50 ms, so a swapped output shows in its length. The first and
    // the second twenty share their names ("in/a/t3.flac", "in/b/t3.ogg").
    static double sourceSeconds(int i) { return 0.3 + 0.05 * i; }
    std::string source(int i) const {
        static const char* const kExtensions[] = {"wav", "mp3", "flac", "ogg", "aiff", "au", "m4a"};
        return path(std::string(i < kFiles / 2 ? "in/a/t" : "in/b/t") +
                    std::to_string(i % (kFiles / 2)) + "." + kExtensions[i % 7])
            .string();
    }

    // The CLI run on `words` and `inputs` with standard error set aside.
    test::ProgramRun cli(std::vector<std::string> words, const std::vector<std::string>& inputs) {
        words.insert(words.end(), inputs.begin(), inputs.end());
        return test::runProgram(VELMORA_CLI_PATH, words, path("stderr.txt"), 300);
    }

    // Seconds of audio in each output, decoded by one ffmpeg run to 8 kHz mono samples; -1 for
    // an output it could not decode.
    std::map<int, double> decodedSeconds(const std::map<int, std::string>& outputs) {
        constexpr int kRate = 8000;
        fs::remove_all(path("decoded"));
        fs::create_directories(path("decoded"));
        std::string inputs;
        std::string maps;
        int input = 0;
        for (const auto& [i, output] : outputs) {
            inputs += " -i " + test::shellQuote(output);
            maps += " -map " + std::to_string(input++) + ":a -f s16le -ac 1 -ar " +
                    std::to_string(kRate) + " " +
                    test::shellQuote(path("decoded/" + std::to_string(i) + ".raw").string());
        }
        test::runCommand("ffmpeg -nostdin -v error -y" + inputs + maps);
        std::map<int, double> seconds;
        for (const auto& [i, output] : outputs) {
            std::error_code error;
            const auto bytes = fs::file_size(path("decoded/" + std::to_string(i) + ".raw"), error);
            seconds[i] = error ? -1.0 : static_cast<double>(bytes) / 2 / kRate;
        }
        return seconds;
    }
};

// The value of "key":"..." in a JSON line of the CLI (its paths hold no quotes).
std::string jsonText(const std::string& line, const std::string& key) {
    const std::string mark = "\"" + key + "\":\"";
    const auto start = line.find(mark);
    if (start == std::string::npos)
        return {};
    const auto from = start + mark.size();
    return line.substr(from, line.find('"', from) - from);
}

TEST_F(ParallelConvertCliTest, FortyMixedFilesWithFourJobsTwentyTimes) {
    if (!test::haveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg not installed";
    std::vector<std::string> sources;
    for (int i = 0; i < kFiles; ++i) {
        sources.push_back(source(i));
        fs::create_directories(fs::path(source(i)).parent_path());
        const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i 'sine=frequency=" +
                                    std::to_string(300 + 20 * i) +
                                    ":duration=" + std::to_string(sourceSeconds(i)) +
                                    ":sample_rate=44100' -ac " + std::to_string(1 + i % 2) + " " +
                                    test::shellQuote(source(i));
        ASSERT_EQ(test::runCommand(command), 0) << command;
    }
    const std::vector<std::string> formats = {"mp3", "ogg", "m4r", "wav", "wma", "amr"};
    for (int run = 0; run < 20; ++run) {
        const std::string& format = formats[run % formats.size()];
        SCOPED_TRACE("run " + std::to_string(run) + " to " + format);
        fs::remove_all(path("out"));
        const test::ProgramRun converted = cli(
            {"convert", "--json", "-j", "4", "--to", format, "-o", path("out").string()}, sources);
        ASSERT_EQ(converted.status, 0) << converted.err << converted.out;
        // The output each source was given, by index.
        std::map<int, std::string> outputs;
        std::istringstream lines(converted.out);
        for (std::string line; std::getline(lines, line);) {
            const auto at = std::find(sources.begin(), sources.end(), jsonText(line, "input"));
            if (at != sources.end())
                outputs[static_cast<int>(at - sources.begin())] = jsonText(line, "output");
        }
        ASSERT_EQ(outputs.size(), static_cast<std::size_t>(kFiles));
        // No partial file and nothing else beside the outputs.
        EXPECT_EQ(test::folderNames(path("out")).size(), static_cast<std::size_t>(kFiles));
        for (const auto& [i, output] : outputs) {
            const std::string stem = "t" + std::to_string(i % (kFiles / 2));
            EXPECT_EQ(output,
                      path("out/" + stem + (i < kFiles / 2 ? "." : "_1.") + format).string());
        }
        for (const auto& [i, seconds] : decodedSeconds(outputs)) {
            // The delay and frame padding of the source's codec and of the output's: a few
            // frames at most, far less than the second between two sources of one name.
            EXPECT_NEAR(seconds, sourceSeconds(i), 0.08) << outputs.at(i);
        }
    }
}

// FluidSynth and libopenmpt render on several threads at once: each song must come out as when
// it is rendered alone. libopenmpt dithers its 16-bit output with a random seed, so a module may
// differ by the dither's least significant bits, no more.
TEST_F(ParallelConvertCliTest, SynthesizedSongsRenderAlikeWithFourJobs) {
    std::vector<std::string> inputs;
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        for (const auto& [name, bytes] :
             {std::pair{"song" + std::to_string(i) + ".mid", test::midiSong()},
              std::pair{"tune" + std::to_string(i) + ".mod", test::proTrackerModule()}}) {
            test::writeFileBytes(path(name), bytes);
            inputs.push_back(path(name).string());
            names.push_back(fs::path(name).stem().string() + ".wav");
        }
    }
    const auto convertTo = [&](const std::string& folder, int jobs) {
        return cli({"convert", "-q", "-j", std::to_string(jobs), "--to", "wav", "-o",
                    path(folder).string()},
                   inputs)
            .status;
    };
    ASSERT_EQ(convertTo("alone", 1), 0);
    for (int run = 0; run < 5; ++run) {
        fs::remove_all(path("together"));
        ASSERT_EQ(convertTo("together", 4), 0);
        for (const std::string& name : names) {
            SCOPED_TRACE(name + " in run " + std::to_string(run));
            // Same header (and so length), then each 16-bit sample within the allowance.
            const auto alone = test::readS16LE(path("alone/" + name));
            const auto together = test::readS16LE(path("together/" + name));
            constexpr std::size_t kHeader = 22;
            ASSERT_GT(alone.size(), kHeader);
            ASSERT_EQ(together.size(), alone.size());
            ASSERT_TRUE(std::equal(alone.begin(), alone.begin() + kHeader, together.begin()));
            int largest = 0;
            for (std::size_t at = kHeader; at < alone.size(); ++at)
                largest = std::max(largest, std::abs(alone[at] - together[at]));
            EXPECT_LE(largest, name.starts_with("song") ? 0 : 2);
        }
    }
}

TEST_F(ParallelConvertCliTest, CtrlCCancelsEveryRunningFileAndLeavesNoPartialOutput) {
    if (!test::haveTool("sox"))
        GTEST_SKIP() << "sox not installed";
    std::string inputs;
    for (int i = 0; i < 4; ++i) {
        const std::string name = path("long" + std::to_string(i) + ".wav").string();
        ASSERT_EQ(test::runCommand("sox -n -r 44100 -c 2 -b 16 " + test::shellQuote(name) +
                                   " synth 120 sine 200-2000"),
                  0);
        inputs += " " + test::shellQuote(name);
    }
    // Ctrl+C once two files are being written at the same time.
    const std::string script = R"sh(out="$1"; shift
"$0" convert -j 2 --to mp3 -o "$out" "$@" </dev/null 2>/dev/null & pid=$!
for i in $(seq 3000); do
  [ "$(ls -A "$out" 2>/dev/null | grep -c partial)" -ge 2 ] && break
  sleep 0.01
done
kill -INT $pid
wait $pid
echo "exit $?")sh";
    std::string output;
    test::runCommand("timeout 120 sh -c " + test::shellQuote(script) + " " +
                         test::shellQuote(VELMORA_CLI_PATH) + " " +
                         test::shellQuote(path("out").string()) + inputs,
                     &output);

    EXPECT_NE(output.find("exit 130"), std::string::npos) << output;
    std::size_t cancelledLines = 0;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        cancelledLines += line.ends_with(": Cancelled") ? 1 : 0;
    EXPECT_EQ(cancelledLines, 2u) << output;
    // Nothing is left of the two files that were running; nothing else was started.
    EXPECT_EQ(test::folderNames(path("out")), std::vector<std::string>{});
}

} // namespace
} // namespace velmora
