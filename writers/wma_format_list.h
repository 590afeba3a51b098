#pragma once

#include "platform/wmf/wmf_codec_info.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace velmora {

// The catalogue of Windows Media audio formats the program can write: the runtime's Windows
// Media Audio formats (standard and Professional) with at most two channels, ordered by sample
// rate, then bit rate. Built once the runtime is bound and kept for the rest of the run.
class WmaFormatList {
public:
    struct Entry {
        WmfMediaType mediaType;
        std::uint32_t bitRate = 0; // bit/s
    };

    // The catalogue of this run, built from the runtime on first use.
    static const WmaFormatList& shared();

    // Replaces the entries with the usable formats of `offered`, taken in their order: a format
    // whose description holds "(A/V)" in any letter case, whose format tag is not one of the two
    // Windows Media Audio tags, or with more than two channels is left out.
    void build(std::span<const WmfCodecFormat> offered);

    std::span<const Entry> entries() const { return m_entries; }

    // The entry nearest to the request among the entries of exactly `channels` channels: the
    // exact rate and bit rate; else, at that rate, the nearer of the bit rates around the request
    // (the higher on a tie); else the lowest bit rate of the next higher rate; else the highest
    // bit rate of the highest rate below. None when no entry has that channel count.
    const Entry* selectFormat(int sampleRate, std::int64_t bitRate, int channels) const;

private:
    static bool usable(const WmfCodecFormat& format);
    // Keeps the order: ascending rate, then bit rate; an equal rate and bit rate with other
    // channels goes before the entries already there; an entry equal in all three is dropped.
    void insert(const Entry& entry);

    std::vector<Entry> m_entries;
};

} // namespace velmora
