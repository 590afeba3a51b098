#include "platform/aac/aac_frame_encoder.h"

namespace velmora {

bool AacFrameEncoder::open(int sampleRate, int channels, int outputFormat) {
    close();
    if (!m_encoder.open(sampleRate, channels))
        return false;
    AacEncoderConfig& config = m_encoder.currentConfiguration();
    config.aacObjectType = AacEncoderConfig::kLowComplexity;
    config.mpegVersion = AacEncoderConfig::kMpeg4;
    config.useTns = 0;
    config.allowMidside = 1;
    config.bandWidth = 0;
    config.outputFormat = outputFormat;
    config.inputFormat = AacEncoderConfig::k16BitInput;
    m_channels = channels;
    return true;
}

bool AacFrameEncoder::start() {
    if (m_channels == 0 || m_started ||
        !m_encoder.setConfiguration(m_encoder.currentConfiguration()))
        return false;
    m_pcm.reset(m_channels, m_encoder.inputSamples());
    m_outBuffer.assign(static_cast<std::size_t>(m_encoder.maxOutputBytes()), 0);
    m_fedFrames = 0;
    m_started = true;
    return true;
}

int AacFrameEncoder::frameLength() const {
    return m_channels == 0 ? 0 : m_encoder.inputSamples() / m_channels;
}

bool AacFrameEncoder::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    if (!m_started || m_failed)
        return false;
    return m_pcm.append16(left, right, frames, [this](const std::int16_t* pcm, int samples) {
        return encodeFrame(pcm, samples);
    });
}

bool AacFrameEncoder::write8(const std::uint8_t* left, const std::uint8_t* right, int frames) {
    if (!m_started || m_failed)
        return false;
    return m_pcm.append8(left, right, frames, [this](const std::int16_t* pcm, int samples) {
        return encodeFrame(pcm, samples);
    });
}

bool AacFrameEncoder::encodeFrame(const std::int16_t* pcm, int samples) {
    m_fedFrames += static_cast<std::uint64_t>(samples / m_channels);
    const int bytes =
        m_encoder.encode(pcm, samples, m_outBuffer.data(), static_cast<int>(m_outBuffer.size()));
    if (bytes < 0 || (bytes > 0 && !deliver(bytes))) {
        m_failed = true;
        return false;
    }
    return true;
}

bool AacFrameEncoder::deliver(int bytes) {
    return m_sink(
        std::span<const std::uint8_t>(m_outBuffer.data(), static_cast<std::size_t>(bytes)));
}

bool AacFrameEncoder::finish() {
    if (!m_started || m_failed)
        return false;
    if (m_pcm.count() > 0) {
        const int samples = m_pcm.count();
        m_pcm.clear();
        if (!encodeFrame(m_pcm.data(), samples))
            return false;
    }
    for (;;) {
        const int bytes =
            m_encoder.encode(nullptr, 0, m_outBuffer.data(), static_cast<int>(m_outBuffer.size()));
        if (bytes == 0)
            return true;
        if (bytes < 0 || !deliver(bytes)) {
            m_failed = true;
            return false;
        }
    }
}

void AacFrameEncoder::close() {
    m_encoder.close();
    m_pcm.reset(0, 0);
    m_outBuffer.clear();
    m_outBuffer.shrink_to_fit();
    m_fedFrames = 0;
    m_channels = 0;
    m_started = false;
    m_failed = false;
}

} // namespace velmora
