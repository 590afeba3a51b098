#include "platform/bass/standard_midi_file.h"

#include "platform/byte_reader.h"

#include <algorithm>

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

// A variable-length number: seven bits a byte, the top bit set on every byte but the last.
bool readVlq(ByteReader& in, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < kMaxVlqBytes; ++i) {
        std::uint8_t byte = 0;
        if (!in.readU8(byte))
            return false;
        value = (value << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0)
            return true;
    }
    return false;
}

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

    std::uint64_t rewrite(ByteReader in) {
        std::uint8_t runningStatus = 0;
        while (in.remaining() > 0) {
            std::uint32_t delta = 0;
            std::uint8_t first = 0;
            if (!readVlq(in, delta) || !in.peekU8(first))
                break;
            std::uint8_t status = runningStatus;
            if ((first & 0x80) != 0) {
                in.readU8(status);
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
    bool channelMessage(ByteReader& in, std::uint8_t status) {
        const int dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2; // program change, channel pressure
        std::uint8_t data[2] = {};
        for (int i = 0; i < dataBytes; ++i)
            if (!in.readU8(data[i]) || (data[i] & 0x80) != 0)
                return false;
        emitDelta();
        m_out.push_back(status);
        m_out.insert(m_out.end(), data, data + dataBytes);
        return true;
    }

    bool sysEx(ByteReader& in, std::uint8_t status) {
        std::uint32_t length = 0;
        std::span<const std::uint8_t> data;
        if (!readVlq(in, length) || !in.takeView(length, data))
            return false;
        emitDelta();
        m_out.push_back(status);
        putVlq(m_out, length);
        m_out.insert(m_out.end(), data.begin(), data.end());
        return true;
    }

    bool meta(ByteReader& in, std::uint32_t delta, bool& endOfTrack) {
        std::uint8_t type = 0;
        std::uint32_t length = 0;
        std::span<const std::uint8_t> data;
        if (!in.readU8(type) || (type & 0x80) != 0 || !readVlq(in, length) ||
            !in.takeView(length, data))
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
    ByteReader in(bytes);
    std::uint32_t riffSize = 0;
    if (!in.matchTag("RIFF") || !in.readU32LE(riffSize) || !in.matchTag("RMID"))
        return {};
    while (in.remaining() >= kChunkHeaderBytes) {
        const bool isData = in.matchTag("data");
        if (!isData && !in.skip(4))
            return {};
        std::uint32_t size = 0;
        if (!in.readU32LE(size))
            return {};
        if (isData)
            return in.takeViewUpTo(size);
        // Chunks are padded to an even size.
        if (!in.skip(static_cast<std::uint64_t>(size) + (size & 1u)))
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
    ByteReader in(bytes);
    std::uint32_t headerBytes = 0;
    std::uint16_t format = 0;
    std::uint16_t declaredTracks = 0;
    std::uint16_t division = 0;
    if (!in.matchTag("MThd") || !in.readU32BE(headerBytes) || headerBytes < kHeaderDataBytes ||
        !in.readU16BE(format) || !in.readU16BE(declaredTracks) || !in.readU16BE(division) ||
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
        const bool isTrack = in.matchTag("MTrk");
        if (!isTrack && !in.skip(4))
            break;
        std::uint32_t size = 0;
        if (!in.readU32BE(size))
            break;
        if (!isTrack) {
            if (!in.skip(size))
                break;
            continue;
        }
        // A track cut short by the end of the file keeps the events that are there.
        const auto data = in.takeViewUpTo(size);
        const std::size_t chunkStart = tracks.size();
        tracks.insert(tracks.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
        TrackRewriter rewriter(tracks, tempos, file.m_trackCount);
        const std::uint64_t endTick = rewriter.rewrite(ByteReader(data));
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
