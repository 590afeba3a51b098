// Tests of the G.721 / G.723 decoder on values worked out by hand from the reference algorithm
// (the decoders' agreement with sox over whole streams is tested with the AU reader).

#include "sources/codecs/g72x_decoder.h"

#include <gtest/gtest.h>
#include <vector>

namespace velmora {
namespace {

using Variant = G72xDecoder::Variant;

// From the initial state the signal estimate is 0 and the step size 544, so the first sample is
// 4 × the reconstructed difference: dql = dqln[code] + 544 ÷ 4, dq = ((128 + dql mod 128) << 7)
// >> (14 − dql ÷ 128).
struct FirstSample {
    Variant variant;
    unsigned code;
    int sample;
};

TEST(G72xDecoderTest, FirstSampleFromTheInitialState) {
    const FirstSample cases[] = {
        {Variant::G721, 7, 88},       // dqln 425: dql 561, dq 22
        {Variant::G721, 8, -88},      // the same magnitude, negative
        {Variant::G721, 1, 8},        // dqln 4: dql 140, dq 2
        {Variant::G721, 15, 0},       // negative zero
        {Variant::G721, 0x17, 88},    // bits above the code are ignored
        {Variant::G723_24, 3, 60},    // dqln 373: dql 509, dq 15
        {Variant::G723_24, 4, -60},   // negative
        {Variant::G723_40, 15, 188},  // dqln 566: dql 702, dq 47
        {Variant::G723_40, 16, -188}, // negative
    };
    for (const FirstSample& c : cases) {
        SCOPED_TRACE(c.code);
        G72xDecoder decoder(c.variant);
        EXPECT_EQ(decoder.decode(c.code), c.sample);
    }
}

TEST(G72xDecoderTest, CodeBitsAndReset) {
    EXPECT_EQ(G72xDecoder(Variant::G721).codeBits(), 4);
    EXPECT_EQ(G72xDecoder(Variant::G723_24).codeBits(), 3);
    EXPECT_EQ(G72xDecoder(Variant::G723_40).codeBits(), 5);

    G72xDecoder used(Variant::G721);
    G72xDecoder fresh(Variant::G721);
    std::vector<int> first;
    for (unsigned i = 0; i < 200; ++i)
        first.push_back(used.decode(i * 7 % 16));
    used.reset();
    for (unsigned i = 0; i < 200; ++i) {
        const int sample = fresh.decode(i * 7 % 16);
        ASSERT_EQ(used.decode(i * 7 % 16), sample);
        ASSERT_EQ(sample, first[i]);
    }
}

} // namespace
} // namespace velmora
