#include "platform/bass/decode_stream.h"

#include "platform/bass/midi_stream.h"
#include "platform/bass/module_stream.h"
#include "platform/bass/mpeg_stream.h"
#include "platform/bass/sndfile_stream.h"
#include "platform/bass/wavpack_stream.h"

#include <algorithm>
#include <limits>

namespace velmora {

std::unique_ptr<DecodeStream> DecodeStream::openFile(const std::string& path) {
    if (auto stream = MpegStream::open(path))
        return stream;
    if (auto stream = SndfileStream::open(path))
        return stream;
    return WavpackStream::open(path);
}

std::unique_ptr<DecodeStream> DecodeStream::loadModule(const std::string& path, int renderRate) {
    return ModuleStream::open(path, renderRate > 0 ? renderRate : kDefaultRenderRate);
}

std::unique_ptr<DecodeStream> DecodeStream::openMidi(const std::string& path, int renderRate) {
    return MidiStream::open(path, renderRate > 0 ? renderRate : kDefaultRenderRate);
}

std::int64_t DecodeStream::getData(std::span<std::uint8_t> buffer) {
    const std::size_t frameSize = frameBytes();
    if (frameSize == 0)
        return -1;
    if (buffer.size() < frameSize)
        return 0;
    // The stream never runs past its length, so position ≤ length holds throughout.
    const std::uint64_t remainingFrames = (m_length - m_position) / frameSize;
    const auto wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size() / frameSize, remainingFrames));
    if (m_ended || wanted == 0)
        return -1;
    std::size_t made = 0;
    // Backends may deliver less than asked before their end; keep asking until full or ended.
    while (made < wanted) {
        const std::size_t got = decodeFrames(buffer.data() + made * frameSize, wanted - made);
        if (got == 0) {
            m_ended = true;
            break;
        }
        made += std::min(got, wanted - made);
    }
    if (made == 0)
        return -1;
    const std::uint64_t bytes = static_cast<std::uint64_t>(made) * frameSize;
    m_position += bytes;
    return static_cast<std::int64_t>(bytes);
}

double DecodeStream::bytesToSeconds(std::uint64_t bytes) const {
    const std::size_t frameSize = frameBytes();
    if (frameSize == 0 || m_info.sampleRate <= 0)
        return 0.0;
    return static_cast<double>(bytes) / static_cast<double>(frameSize) /
           static_cast<double>(m_info.sampleRate);
}

std::size_t DecodeStream::frameBytes() const {
    if (m_info.channels <= 0)
        return 0;
    return static_cast<std::size_t>(m_info.channels) * (m_info.eightBit ? 1u : 2u);
}

bool DecodeStream::setFormat(const StreamInfo& info, std::uint64_t frames) {
    if (info.channels < 1 || info.channels > kMaxChannels || info.sampleRate < 1)
        return false;
    m_info = info;
    const std::size_t frameSize = frameBytes();
    if (frames > std::numeric_limits<std::uint64_t>::max() / 2 / frameSize)
        return false;
    m_length = frames * frameSize;
    m_position = 0;
    m_ended = false;
    return true;
}

} // namespace velmora
