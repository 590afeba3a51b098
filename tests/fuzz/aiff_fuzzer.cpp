#include "sources/aiff_source.h"
#include "tests/fuzz/read_to_end.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return velmora::fuzz::openAndReadToEnd<velmora::fuzz::SourceTarget<velmora::AiffSource>>(data,
                                                                                             size);
}
