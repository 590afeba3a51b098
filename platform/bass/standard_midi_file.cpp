#include "platform/bass/standard_midi_file.h"

#include <algorithm>
#include <cstring>

namespace velmora {
namespace {

constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::uint32_t kHeaderDataBytes = 6;
// A variable-length number has at most four bytes (values up to 0x0FFFFFFF).
constexpr int kMaxVlqBytes = 4;
constexpr std::uint8_t kMetaEvent = 0xFF;
constexpr std::uint8_t kSysEx = 0xF0;
constexpr std::uint8_t kSysExEscape = 0xF7;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint8_t kMetaTempo = 0x51;

// A bounds-checked reading position in a block of bytes; every read fails rather than pass
// the end.
class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t remaining() const { return m_bytes.size() - m_offset; }
    bool atEnd() const { return m_offset >= m_bytes.size(); }

    bool u8(std::uint8_t& value) {
        if (remaining() < 1)
            return false;
        value = m_bytes[m_offset++];
        return true;
    }
    bool peek(std::uint8_t& value) const {
        if (remaining() < 1)
            return false;
        value = m_bytes[m_offset];
        return true;
    }
    bool u16be(std::uint32_t& value) {
        if (remaining() < 2)
            return false;
        value = (static_cast<std::uint32_t>(m_bytes[m_offset]) << 8) | m_bytes[m_offset + 1];
        m_offset += 2;
        return true;
    }
    bool u32be(std::uint32_t& value) {
        std::uint32_t high = 0;
        std::uint32_t low = 0;
        if (remaining() < 4 || !u16be(high) || !u16be(low))
            return false;
        value = (high << 16) | low;
        return true;
    }
    bool u32le(std::uint32_t& value) {
        if (remaining() < 4)
            return false;
        value = static_cast<std::uint32_t>(m_bytes[m_offset]) |
                (static_cast<std::uint32_t>(m_bytes[m_offset + 1]) << 8) |
                (static_cast<std::uint32_t>(m_bytes[m_offset + 2]) << 16) |
                (static_cast<std::uint32_t>(m_bytes[m_offset + 3]) << 24);
        m_offset += 4;
        return true;
    }
    bool tag(const char (&id)[5]) {
        if (remaining() < 4 || std::memcmp(m_bytes.data() + m_offset, id, 4) != 0)
            return false;
        m_offset += 4;
        return true;
    }
    bool vlq(std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < kMaxVlqBytes; ++i) {
            std::uint8_t byte = 0;
            if (!u8(byte))
                return false;
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0)
                return true;
        }
        return false;
    }
    // The next `count` bytes, consumed; fails without moving when fewer remain.
    bool take(std::size_t count, std::span<const std::uint8_t>& out) {
        if (count > remaining())
            return false;
        out = m_bytes.subspan(m_offset, count);
        m_offset += count;
        return true;
    }
    // Up to `count` bytes: all of them, or what is left.
    std::span<const std::uint8_t> takeUpTo(std::size_t count) {
        const std::size_t n = std::min(count, remaining());
        const auto out = m_bytes.subspan(m_offset, n);
        m_offset += n;
        return out;
    }
    bool skip(std::size_t count) {
        if (count > remaining())
            return false;
        m_offset += count;
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_offset = 0;
};

void putU16be(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void putU32be(std::vector<std::uint8_t>& out, std::uint32_t value) {
    putU16be(out, value >> 16);
    putU16be(out, value & 0xFFFF);
}

void putVlq(std::vector<std::uint8_t>& out, std::uint32_t value) {
    std::uint8_t groups[kMaxVlqBytes] = {};
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0 && count < kMaxVlqBytes);
    while (count > 1)
        out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

struct TempoChange {
    std::uint64_t tick = 0;
    std::size_t track = 0;
    std::uint32_t microsPerQuarter = 0;
};

// Writes one track's events into `out` (the MTrk data without its chunk header). Returns the
// tick of its end.
class TrackRewriter {
public:
    TrackRewriter(std::vector<std::uint8_t>& out, std::vector<TempoChange>& tempos,
                  std::size_t track)
        : m_out(out), m_tempos(tempos), m_track(track) {}

    std::uint64_t rewrite(Cursor in) {
        std::uint8_t runningStatus = 0;
        while (!in.atEnd()) {
            std::uint32_t delta = 0;
            std::uint8_t first = 0;
            if (!in.vlq(delta) || !in.peek(first))
                break;
            std::uint8_t status = runningStatus;
            if ((first & 0x80) != 0) {
                in.u8(status);
            } else if (runningStatus == 0) {
                break; // a data byte with no status to run on
            }
            // The event's time counts only once the event has been read whole.
            m_pendingDelta += delta;
            bool good = false;
            bool endOfTrack = false;
            if (status < 0xF0) {
                good = channelMessage(in, status);
                runningStatus = status;
            } else if (status == kSysEx || status == kSysExEscape) {
                good = sysEx(in, status);
            } else if (status == kMetaEvent) {
                good = meta(in, delta, endOfTrack);
            } // system common and real-time messages have no place in a file
            if (!good) {
                m_pendingDelta -= delta;
                break;
            }
            m_tick += delta;
            if (endOfTrack)
                break;
        }
        // The closing End of Track, at the time of the last event read.
        emitDelta();
        m_out.insert(m_out.end(), {kMetaEvent, kMetaEndOfTrack, 0x00});
        return m_tick;
    }

private:
    bool channelMessage(Cursor& in, std::uint8_t status) {
        const int dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2; // program change, channel pressure
        std::uint8_t data[2] = {};
        for (int i = 0; i < dataBytes; ++i)
            if (!in.u8(data[i]) || (data[i] & 0x80) != 0)
                return false;
        emitDelta();
        m_out.push_back(status);
        m_out.insert(m_out.end(), data, data + dataBytes);
        return true;
    }

    bool sysEx(Cursor& in, std::uint8_t status) {
        std::uint32_t length = 0;
        std::span<const std::uint8_t> data;
        if (!in.vlq(length) || !in.take(length, data))
            return false;
        emitDelta();
        m_out.push_back(status);
        putVlq(m_out, length);
        m_out.insert(m_out.end(), data.begin(), data.end());
        return true;
    }

    bool meta(Cursor& in, std::uint32_t delta, bool& endOfTrack) {
        std::uint8_t type = 0;
        std::uint32_t length = 0;
        std::span<const std::uint8_t> data;
        if (!in.u8(type) || (type & 0x80) != 0 || !in.vlq(length) || !in.take(length, data))
            return false;
        if (type == kMetaEndOfTrack) {
            endOfTrack = true;
            return true;
        }
        if (type == kMetaTempo) {
            const std::uint32_t tempo =
                length == 3 ? (static_cast<std::uint32_t>(data[0]) << 16) |
                                  (static_cast<std::uint32_t>(data[1]) << 8) | data[2]
                            : 0;
            // A tempo of another size, or of zero, would stop the clock: left out.
            if (tempo == 0)
                return true;
            m_tempos.push_back({m_tick + delta, m_track, tempo});
        }
        emitDelta();
        m_out.push_back(kMetaEvent);
        m_out.push_back(type);
        putVlq(m_out, length);
        m_out.insert(m_out.end(), data.begin(), data.end());
        return true;
    }

    // Events left out pass their time on to the next event written. A delta beyond what a
    // variable-length number holds is split over empty text events.
    void emitDelta() {
        constexpr std::uint64_t kMaxDelta = 0x0FFFFFFF;
        while (m_pendingDelta > kMaxDelta) {
            putVlq(m_out, static_cast<std::uint32_t>(kMaxDelta));
            m_out.insert(m_out.end(), {kMetaEvent, 0x01, 0x00});
            m_pendingDelta -= kMaxDelta;
        }
        putVlq(m_out, static_cast<std::uint32_t>(m_pendingDelta));
        m_pendingDelta = 0;
    }

    std::vector<std::uint8_t>& m_out;
    std::vector<TempoChange>& m_tempos;
    std::size_t m_track;
    std::uint64_t m_tick = 0;
    std::uint64_t m_pendingDelta = 0;
};

// The Standard MIDI File inside a RIFF "RMID" file: the data of its "data" chunk (cut to the
// bytes present when the file is short). Empty when there is none.
std::span<const std::uint8_t> rmidPayload(std::span<const std::uint8_t> bytes) {
    Cursor in(bytes);
    std::uint32_t riffSize = 0;
    if (!in.tag("RIFF") || !in.u32le(riffSize) || !in.tag("RMID"))
        return {};
    while (in.remaining() >= kChunkHeaderBytes) {
        const bool isData = in.tag("data");
        if (!isData && !in.skip(4))
            return {};
        std::uint32_t size = 0;
        if (!in.u32le(size))
            return {};
        if (isData)
            return in.takeUpTo(size);
        // Chunks are padded to an even size.
        if (!in.skip(static_cast<std::size_t>(size) + (size & 1u)))
            return {};
    }
    return {};
}

double secondsAt(std::uint64_t tick, std::vector<TempoChange>& tempos, std::uint32_t division) {
    // Tempo events of all tracks form one map; at one tick the later track's event wins, as
    // the renderer applies them track by track.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    double micros = 0.0;
    std::uint64_t lastTick = 0;
    std::uint32_t tempo = StandardMidiFile::kDefaultTempo;
    for (const TempoChange& change : tempos) {
        if (change.tick >= tick)
            break;
        micros += static_cast<double>(change.tick - lastTick) * tempo / division;
        lastTick = change.tick;
        tempo = change.microsPerQuarter;
    }
    micros += static_cast<double>(tick - lastTick) * tempo / division;
    return micros / 1e6;
}

} // namespace

std::optional<StandardMidiFile> StandardMidiFile::parse(std::span<const std::uint8_t> bytes) {
    if (const auto payload = rmidPayload(bytes); !payload.empty())
        bytes = payload;
    Cursor in(bytes);
    std::uint32_t headerBytes = 0;
    std::uint32_t format = 0;
    std::uint32_t declaredTracks = 0;
    std::uint32_t division = 0;
    if (!in.tag("MThd") || !in.u32be(headerBytes) || headerBytes < kHeaderDataBytes ||
        !in.u16be(format) || !in.u16be(declaredTracks) || !in.u16be(division) ||
        !in.skip(headerBytes - kHeaderDataBytes))
        return std::nullopt;
    // Bit 15 set: SMPTE frames and ticks per frame instead of ticks per quarter note.
    if (format > 2 || (division & 0x8000) != 0 || division == 0)
        return std::nullopt;

    StandardMidiFile file;
    std::vector<std::uint8_t> tracks;
    std::vector<TempoChange> tempos;
    const std::size_t wantedTracks = std::min<std::size_t>(declaredTracks, kMaxTracks);
    while (file.m_trackCount < wantedTracks && in.remaining() >= kChunkHeaderBytes) {
        const bool isTrack = in.tag("MTrk");
        if (!isTrack && !in.skip(4))
            break;
        std::uint32_t size = 0;
        if (!in.u32be(size))
            break;
        if (!isTrack) {
            if (!in.skip(size))
                break;
            continue;
        }
        // A track cut short by the end of the file keeps the events that are there.
        const auto data = in.takeUpTo(size);
        const std::size_t chunkStart = tracks.size();
        tracks.insert(tracks.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
        TrackRewriter rewriter(tracks, tempos, file.m_trackCount);
        const std::uint64_t endTick = rewriter.rewrite(Cursor(data));
        file.m_endTick = std::max(file.m_endTick, endTick);
        const std::size_t chunkBytes = tracks.size() - chunkStart - kChunkHeaderBytes;
        // Rewriting adds a few bytes per event at most; a track stays far below 4 GiB.
        std::vector<std::uint8_t> size32;
        putU32be(size32, static_cast<std::uint32_t>(chunkBytes));
        std::copy(size32.begin(), size32.end(),
                  tracks.begin() + static_cast<std::ptrdiff_t>(chunkStart + 4));
        ++file.m_trackCount;
    }
    if (file.m_trackCount == 0)
        return std::nullopt;

    file.m_bytes = {'M', 'T', 'h', 'd'};
    putU32be(file.m_bytes, kHeaderDataBytes);
    putU16be(file.m_bytes, format);
    putU16be(file.m_bytes, static_cast<std::uint32_t>(file.m_trackCount));
    putU16be(file.m_bytes, division);
    file.m_bytes.insert(file.m_bytes.end(), tracks.begin(), tracks.end());
    file.m_endSeconds = secondsAt(file.m_endTick, tempos, division);
    return file;
}

} // namespace velmora
