#include "tests/unit/synthetic_songs.h"

#include "tests/unit/test_support.h"

#include <algorithm>

namespace velmora::test {

using Bytes = std::vector<std::uint8_t>;

Bytes midiFile(std::uint16_t format, std::uint16_t division, const std::vector<Bytes>& tracks) {
    Bytes out;
    appendText(out, "MThd");
    appendU32BE(out, 6);
    appendU16BE(out, format);
    appendU16BE(out, static_cast<std::uint32_t>(tracks.size()));
    appendU16BE(out, division);
    for (const Bytes& events : tracks) {
        appendText(out, "MTrk");
        appendU32BE(out, static_cast<std::uint32_t>(events.size()));
        out.insert(out.end(), events.begin(), events.end());
    }
    return out;
}

Bytes proTrackerModule() {
    Bytes out;
    out.resize(20, 0);
    std::copy_n("velmora test", 12, out.begin());
    for (int sample = 0; sample < 31; ++sample) {
        Bytes header(22, 0);
        const bool used = sample == 0;
        appendU16BE(header, used ? 256 : 0); // length in words
        header.push_back(0);                 // finetune
        header.push_back(used ? 64 : 0);     // volume
        appendU16BE(header, 0);              // repeat offset in words
        appendU16BE(header, used ? 256 : 1); // repeat length in words
        out.insert(out.end(), header.begin(), header.end());
    }
    out.push_back(1);   // song length in orders
    out.push_back(127); // restart position
    out.resize(out.size() + 128, 0);
    appendText(out, "M.K.");
    Bytes pattern(64 * 4 * 4, 0);
    const int period = 428; // C-3
    pattern[0] = static_cast<std::uint8_t>(period >> 8);
    pattern[1] = static_cast<std::uint8_t>(period & 0xFF);
    pattern[2] = 0x10; // sample 1, no effect
    out.insert(out.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < 512; ++i)
        out.push_back((i / 16) % 2 == 0 ? 0x60 : 0xA0);
    return out;
}

Bytes midiSong() {
    const Bytes tempo = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x81, 0x40, 0xFF,
                         0x51, 0x03, 0x03, 0xD0, 0x90, 0x81, 0x40, 0xFF, 0x2F, 0x00};
    const Bytes notes = {0x00, 0xC0, 0x00, 0x00, 0x90, 60,   110,  0x00, 64, 110,
                         0x81, 0x40, 60,   0,    0x00, 64,   0,    0x00, 67, 110,
                         0x81, 0x40, 67,   0,    0x00, 0xFF, 0x2F, 0x00};
    return midiFile(1, 96, {tempo, notes});
}

} // namespace velmora::test
