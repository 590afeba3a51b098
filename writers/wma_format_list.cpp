#include "writers/wma_format_list.h"

#include "platform/ascii_case.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace velmora {
namespace {} // namespace

const WmaFormatList& WmaFormatList::shared() {
    static const WmaFormatList catalogue = [] {
        WmaFormatList list;
        list.build(WmfCodecInfo::audioFormats());
        return list;
    }();
    return catalogue;
}

bool WmaFormatList::usable(const WmfCodecFormat& format) {
    // Formats meant for audio inside video streams are not offered for audio-only files.
    if (upperCaseAscii(format.description).find("(A/V)") != std::string::npos)
        return false;
    const std::uint16_t tag = format.mediaType.formatTag;
    return (tag == WmfCodecInfo::kWmaFormatTag || tag == WmfCodecInfo::kWmaProFormatTag) &&
           format.mediaType.channels <= 2;
}

void WmaFormatList::build(std::span<const WmfCodecFormat> offered) {
    m_entries.clear();
    for (const WmfCodecFormat& format : offered)
        if (usable(format))
            insert({format.mediaType, format.bitRate});
}

void WmaFormatList::insert(const Entry& entry) {
    const auto before = [](const Entry& a, const Entry& b) {
        if (a.mediaType.sampleRate != b.mediaType.sampleRate)
            return a.mediaType.sampleRate < b.mediaType.sampleRate;
        return a.bitRate < b.bitRate;
    };
    // The first entry not ordered before the new one: its run of equal rate and bit rate, if any,
    // starts here.
    const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), entry, before);
    for (auto it = at; it != m_entries.end() && !before(entry, *it); ++it)
        if (it->mediaType.channels == entry.mediaType.channels)
            return;
    m_entries.insert(at, entry);
}

const WmaFormatList::Entry* WmaFormatList::selectFormat(int sampleRate, std::int64_t bitRate,
                                                        int channels) const {
    std::vector<const Entry*> candidates;
    for (const Entry& entry : m_entries)
        if (entry.mediaType.channels == channels)
            candidates.push_back(&entry);
    if (candidates.empty())
        return nullptr;

    // The candidates keep the list's order: ascending rate, then bit rate.
    const Entry* lower = nullptr;  // highest bit rate below the request at the rate
    const Entry* higher = nullptr; // lowest bit rate above the request at the rate
    for (const Entry* entry : candidates) {
        if (entry->mediaType.sampleRate != sampleRate)
            continue;
        if (entry->bitRate == bitRate)
            return entry;
        if (entry->bitRate < bitRate)
            lower = entry;
        else if (!higher)
            higher = entry;
    }
    if (lower && higher)
        return bitRate - lower->bitRate < higher->bitRate - bitRate ? lower : higher;
    if (lower || higher)
        return higher ? higher : lower;

    for (const Entry* entry : candidates)
        if (entry->mediaType.sampleRate > sampleRate)
            return entry;     // the lowest bit rate of the next higher rate
    return candidates.back(); // all rates are below: the highest bit rate of the highest one
}

} // namespace velmora
