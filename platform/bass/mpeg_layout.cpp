#include "platform/bass/mpeg_layout.h"

#include "platform/bass/mpeg_frame_header.h"
#include "platform/byte_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

namespace velmora {
namespace {

constexpr std::uint64_t kId3v2HeaderBytes = 10;
constexpr std::uint64_t kId3v1Bytes = 128;
constexpr std::uint64_t kApeFooterBytes = 32;
// A free-format frame is found by the distance to the next header; layer III allows at most
// 640 kbit/s, which at 32000 Hz is 2880 bytes, so the next header lies within this distance.
constexpr std::uint64_t kMaxFreeFormatFrameBytes = 4096;
// The largest frame a header can describe (MPEG-2 layer II at 160 kbit/s and 8000 Hz: 2881).
constexpr std::uint64_t kMaxFrameBytes = kMaxFreeFormatFrameBytes;

// Bytes of the ID3v2 tag at the start of the file, footer included; 0 when there is none. The
// size is a 28-bit synchsafe number: every size byte must have its top bit clear.
std::uint64_t id3v2TagBytes(const InputFile& file, std::uint64_t& headerAndBody) {
    std::array<std::uint8_t, kId3v2HeaderBytes> header{};
    headerAndBody = 0;
    if (!file.readAt(0, header))
        return 0;
    ByteReader in(header);
    std::uint8_t version = 0;
    std::uint8_t revision = 0;
    std::uint8_t flags = 0;
    if (!in.matchTag("ID3") || !in.readU8(version) || !in.readU8(revision) || !in.readU8(flags))
        return 0;
    if (version == 0xFF || revision == 0xFF)
        return 0;
    std::uint64_t body = 0;
    for (std::uint8_t sizeByte = 0; in.readU8(sizeByte);) {
        if ((sizeByte & 0x80) != 0)
            return 0;
        body = (body << 7) | sizeByte;
    }
    headerAndBody = kId3v2HeaderBytes + body;
    const bool footer = version >= 4 && (flags & 0x10) != 0;
    return headerAndBody + (footer ? kId3v2HeaderBytes : 0);
}

class FrameChain {
public:
    FrameChain(std::span<const std::uint8_t> window, std::uint64_t windowStart,
               std::uint64_t audioEnd)
        : m_window(window), m_windowStart(windowStart), m_audioEnd(audioEnd) {}

    // True when the frame at `offset` starts a chain of kChainedFrames frames, or frames that
    // end exactly at the end of the audio data. A free-format frame counts only at the start of
    // the window: that keeps the search for its size (up to kMaxFreeFormatFrameBytes) to one.
    bool startsAt(std::uint64_t offset) const {
        auto first = headerAt(offset);
        if (!first)
            return false;
        std::uint32_t freeFormatBytes = 0;
        if (first->isFreeFormat()) {
            if (offset != m_windowStart)
                return false;
            freeFormatBytes = freeFormatFrameBytes(offset, *first);
            if (freeFormatBytes == 0)
                return false;
        }
        std::uint64_t at = offset;
        MpegFrameHeader current = *first;
        for (int frames = 1;; ++frames) {
            const std::uint64_t size =
                current.isFreeFormat()
                    ? freeFormatBytes + (current.padded ? current.slotBytes() : 0)
                    : current.frameBytes();
            if (size < MpegFrameHeader::kBytes || at + size > m_audioEnd)
                return false;
            at += size;
            if (at == m_audioEnd)
                return true;
            if (frames == MpegLayout::kChainedFrames)
                return true;
            const auto next = headerAt(at);
            if (!next || !next->sameStreamAs(*first))
                return false;
            current = *next;
        }
    }

private:
    std::optional<MpegFrameHeader> headerAt(std::uint64_t offset) const {
        if (offset < m_windowStart ||
            offset - m_windowStart + MpegFrameHeader::kBytes > m_window.size())
            return std::nullopt;
        const auto at = static_cast<std::size_t>(offset - m_windowStart);
        return MpegFrameHeader::parse(m_window.subspan(at).first<MpegFrameHeader::kBytes>());
    }

    // The unpadded size of a free-format frame: the distance to the next header of the same
    // stream that is also free format.
    std::uint32_t freeFormatFrameBytes(std::uint64_t offset, const MpegFrameHeader& first) const {
        for (std::uint64_t distance = MpegFrameHeader::kBytes + 1;
             distance <= kMaxFreeFormatFrameBytes; ++distance) {
            const auto next = headerAt(offset + distance);
            if (next && next->sameStreamAs(first) && next->channelMode == first.channelMode) {
                const std::uint64_t padding = first.padded ? first.slotBytes() : 0;
                return static_cast<std::uint32_t>(distance - padding);
            }
        }
        return 0;
    }

    std::span<const std::uint8_t> m_window;
    std::uint64_t m_windowStart;
    std::uint64_t m_audioEnd;
};

} // namespace

bool MpegLayout::startsLikeOtherContainer(const InputFile& file) {
    std::array<std::uint8_t, 12> head{};
    if (file.readUpTo(0, head) < head.size())
        return false;
    for (const char* signature :
         {"RIFF", "RIFX", "RF64", "FORM", "fLaC", "OggS", "wvpk", "MThd", "caff", ".snd"})
        if (std::memcmp(head.data(), signature, 4) == 0)
            return true;
    return std::memcmp(head.data() + 4, "ftyp", 4) == 0;
}

std::optional<MpegLayout> MpegLayout::scan(const InputFile& file) {
    MpegLayout layout;
    if (startsLikeOtherContainer(file))
        return std::nullopt;
    const std::uint64_t tagBytes = id3v2TagBytes(file, layout.id3v2Bytes);
    if (tagBytes >= file.size())
        return std::nullopt;

    layout.audioEnd = file.size();
    if (layout.audioEnd - tagBytes >= kId3v1Bytes) {
        std::array<std::uint8_t, 3> marker{};
        if (file.readAt(layout.audioEnd - kId3v1Bytes, marker) &&
            std::memcmp(marker.data(), "TAG", 3) == 0) {
            layout.hasId3v1 = true;
            layout.audioEnd -= kId3v1Bytes;
        }
    }
    // An APEv2 tag before the ID3v1 tag: its footer's size counts the items and the footer,
    // and a flag tells whether a 32-byte header precedes them.
    if (layout.audioEnd - tagBytes >= kApeFooterBytes) {
        std::array<std::uint8_t, kApeFooterBytes> footer{};
        ByteReader in(footer);
        std::uint32_t size = 0;
        std::uint32_t flags = 0;
        // Preamble, version (4), size (4), item count (4), flags (4).
        if (file.readAt(layout.audioEnd - kApeFooterBytes, footer) && in.matchTag("APETAGEX") &&
            in.skip(4) && in.readU32LE(size) && in.skip(4) && in.readU32LE(flags)) {
            const bool hasHeader = (flags & 0x80000000u) != 0;
            const std::uint64_t total = size + (hasHeader ? kApeFooterBytes : 0);
            if (size >= kApeFooterBytes && total <= layout.audioEnd - tagBytes)
                layout.audioEnd -= total;
        }
    }
    if (layout.audioEnd <= tagBytes)
        return std::nullopt;

    // Candidates lie in the search window; their chains may reach a few frames beyond it.
    const std::uint64_t windowBytes =
        std::min(layout.audioEnd - tagBytes,
                 kSearchWindow + static_cast<std::uint64_t>(kChainedFrames + 1) * kMaxFrameBytes);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(windowBytes));
    if (!file.readAt(tagBytes, window))
        return std::nullopt;
    const FrameChain chain(window, tagBytes, layout.audioEnd);
    const std::uint64_t lastCandidate = std::min(windowBytes, kSearchWindow);
    for (std::uint64_t i = 0; i < lastCandidate; ++i) {
        if (window[static_cast<std::size_t>(i)] != 0xFF)
            continue;
        if (chain.startsAt(tagBytes + i)) {
            layout.audioStart = tagBytes + i;
            return layout;
        }
    }
    return std::nullopt;
}

} // namespace velmora
