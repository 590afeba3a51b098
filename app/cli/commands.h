#pragma once

#include <string>
#include <vector>

namespace velmora::cli {

// Each command takes the words after its own name and returns the process exit status:
// 0 success, 1 a file failed, 2 a usage error (reported on one line), 130 interrupted.
int runProbe(const std::vector<std::string>& args);
int runDecode(const std::vector<std::string>& args);
int runFormats(const std::vector<std::string>& args);
int runConvert(const std::vector<std::string>& args);
int runSettings(const std::vector<std::string>& args);
int runSuggestSegment(const std::vector<std::string>& args);

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130; // 128 + SIGINT, as shells report it

// Prints "velmora-cli: MESSAGE" on standard error and returns kExitUsage.
int usageError(const std::string& message);

} // namespace velmora::cli
