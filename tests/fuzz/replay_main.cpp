// Runs saved inputs through a harness without libFuzzer, so that the seeds and every crash file
// ever found are checked in every build. Arguments are files or folders of inputs; a folder
// that does not exist is skipped (a harness may have no crash files yet). Fails when no input
// was found at all, so that a seed generation that went wrong cannot pass unnoticed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> inputsIn(const std::filesystem::path& argument) {
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_regular_file(argument)) {
        inputs.push_back(argument);
    } else if (std::filesystem::is_directory(argument)) {
        for (const auto& entry : std::filesystem::directory_iterator(argument))
            if (entry.is_regular_file() && !entry.path().filename().string().starts_with("."))
                inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
    }
    return inputs;
}

void replay(const std::filesystem::path& input) {
    // Named first: when an input crashes, this is the last line before the sanitizer report.
    std::cerr << "replaying " << input.string() << std::endl;
    std::ifstream in(input, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    // An exact-size copy, so that AddressSanitizer sees a read past the input's end.
    const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::filesystem::path& input : inputsIn(argv[i])) {
            replay(input);
            ++replayed;
        }
    }
    std::cout << replayed << " inputs replayed" << std::endl;
    return replayed > 0 ? 0 : 1;
}
