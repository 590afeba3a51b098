// Tests of the DWVW decoder on bit streams written out by hand (its agreement with libsndfile
// over whole files is tested with the AIFF reader).

#include "sources/codecs/dwvw_decoder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace velmora {
namespace {

// "0" and "1" are bits, first bit most significant; anything else separates for reading.
std::vector<std::uint8_t> bitsToBytes(const std::string& text) {
    std::string bits;
    std::copy_if(text.begin(), text.end(), std::back_inserter(bits),
                 [](char c) { return c == '0' || c == '1'; });
    std::vector<std::uint8_t> bytes((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1')
            bytes[i / 8] |= static_cast<std::uint8_t>(0x80u >> (i % 8));
    return bytes;
}

std::vector<std::int32_t> decodeInPortions(int width, const std::vector<std::uint8_t>& bytes,
                                           std::size_t portion) {
    DwvwDecoder decoder(width);
    std::vector<std::int32_t> out;
    std::vector<std::int32_t> block(3);
    for (std::size_t at = 0; at < bytes.size(); at += portion) {
        decoder.feed(std::span(bytes).subspan(at, std::min(portion, bytes.size() - at)));
        for (std::size_t n; (n = decoder.decode(block)) > 0;)
            out.insert(out.end(), block.begin(), block.begin() + static_cast<long>(n));
    }
    return out;
}

struct Stream {
    int width;
    std::string bits;
    std::vector<std::int32_t> samples; // right-justified
};

TEST(DwvwDecoderTest, HandWrittenStreams) {
    const Stream streams[] = {
        // 16 bits. +5: modifier +3 ("0001", sign "0"), delta width 3 ("01", sign "0"). −3:
        // modifier −1 ("01", "1"), width 2 ("1", "1"). 0: modifier −2 ("001", "1"), width 0.
        // +32767, wrapping to −32767: width 15 is a modifier of −1 modulo 16 ("01", "1"), 14
        // ones, sign "0", extra bit "0". −32768: modifier 0 ("1"), 14 ones, sign "1", extra bit
        // "1". Then padding that holds no whole sample.
        {16,
         "0001 0 01 0 | 01 1 1 1 | 001 1 | 01 1 11111111111111 0 0 | 1 11111111111111 1 1 | "
         "000000",
         {5, 2, 2, -32767, 1}},
        // 8 bits: +128 (width 7 is −1 modulo 8; delta 127 with extra bit 1) wraps to −128.
        {8, "01 1 111111 0 1 | 00000", {-128}},
        // The longest modifier (width ÷ 2 zeros) has no terminating one: +4 ("0000", sign "0"),
        // delta 8; then modifier 0 and delta 8 again.
        {8, "0000 0 000 0 | 1 000 0", {8, 16}},
    };
    for (const Stream& s : streams) {
        SCOPED_TRACE(s.bits);
        std::vector<std::int32_t> expected;
        for (const std::int32_t v : s.samples)
            expected.push_back(
                static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << (32 - s.width)));
        const auto bytes = bitsToBytes(s.bits);
        for (const std::size_t portion : {std::size_t{1}, std::size_t{2}, bytes.size()})
            EXPECT_EQ(decodeInPortions(s.width, bytes, portion), expected);
    }
}

} // namespace
} // namespace velmora
