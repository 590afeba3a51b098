#include "writers/wma_writer.h"

#include "platform/text_encoding.h"

namespace velmora {
namespace {

constexpr double kHundredNsPerSecond = 10'000'000.0;

void putSample(std::uint8_t*& at, std::int16_t sample) {
    const auto bits = static_cast<std::uint16_t>(sample);
    *at++ = static_cast<std::uint8_t>(bits);
    *at++ = static_cast<std::uint8_t>(bits >> 8);
}

void putSample(std::uint8_t*& at, std::uint8_t sample) {
    *at++ = sample;
}

} // namespace

void WmaWriter::setInputFormat(int sampleRate, int bitsPerSample, int channels) {
    m_sampleRate = sampleRate;
    m_bitsPerSample = bitsPerSample;
    m_channels = channels;
}

void WmaWriter::setCodecFormat(const WmfMediaType* mediaType, std::uint32_t bitRate) {
    m_codecFormat = mediaType;
    m_bitRate = bitRate;
}

void WmaWriter::setTags(const Tags& tags) {
    m_tags = tags;
}

void WmaWriter::setAttributes() {
    const Tags& t = m_tags;
    m_runtime.setAttribute("Title", repairUtf8(t.text.title));
    m_runtime.setAttribute("Author", repairUtf8(t.text.artist));
    m_runtime.setAttribute("WM/AlbumArtist", repairUtf8(t.text.artist));
    m_runtime.setAttribute("Description", repairUtf8(t.text.comment));
    m_runtime.setAttribute("WM/AlbumTitle", repairUtf8(t.text.album));
    m_runtime.setAttribute("WM/Genre", repairUtf8(t.text.genre));
    m_runtime.setAttribute("WM/TrackNumber", t.track);
    m_runtime.setAttribute("WM/Year", repairUtf8(t.text.year));
    m_runtime.setAttribute("WM/Composer", repairUtf8(t.text.composer));
    m_runtime.setAttribute("Copyright", repairUtf8(t.text.copyright));
}

bool WmaWriter::begin() {
    const bool ready = m_codecFormat && m_bitRate != 0 && !m_path.empty() &&
                       m_runtime.setProfile(*m_codecFormat, m_bitRate) &&
                       m_runtime.setInputProps(m_sampleRate, m_bitsPerSample, m_channels);
    if (ready) {
        setAttributes();
        if (m_runtime.beginWriting(m_path)) {
            m_sampleTime = 0;
            return true;
        }
    }
    reset();
    return false;
}

template <typename Sample>
bool WmaWriter::writeBlock(const Sample* left, const Sample* right, int frames) {
    if (!isWriting() || frames < 0 || !left || (m_channels == 2 && !right) ||
        m_bitsPerSample != static_cast<int>(sizeof(Sample) * 8))
        return false;
    m_sample.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(m_channels) *
                    sizeof(Sample));
    std::uint8_t* at = m_sample.data();
    for (int i = 0; i < frames; ++i) {
        putSample(at, left[i]);
        if (m_channels == 2)
            putSample(at, right[i]);
    }
    if (!m_runtime.writeSample(m_sample, m_sampleTime))
        return false;
    m_sampleTime += static_cast<std::uint64_t>(static_cast<double>(frames) * kHundredNsPerSecond /
                                               static_cast<double>(m_sampleRate));
    return true;
}

bool WmaWriter::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    return writeBlock(left, right, frames);
}

bool WmaWriter::write8(const std::uint8_t* left, const std::uint8_t* right, int frames) {
    return writeBlock(left, right, frames);
}

bool WmaWriter::close() {
    const bool finished = isWriting() && m_runtime.endWriting();
    reset();
    return finished;
}

void WmaWriter::reset() {
    m_runtime.release();
    m_path.clear();
    m_sampleRate = m_bitsPerSample = m_channels = 0;
    m_codecFormat = nullptr;
    m_bitRate = 0;
    m_tags = {};
    m_sampleTime = 0;
}

} // namespace velmora
