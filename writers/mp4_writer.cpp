#include "writers/mp4_writer.h"

#include "platform/text_encoding.h"

#include <algorithm>
#include <limits>

namespace velmora {

Mp4Writer::~Mp4Writer() {
    close();
}

bool Mp4Writer::open(const std::string& path, int sampleRate, int channels, int bitsPerSample) {
    close();
    if (bitsPerSample != 8 && bitsPerSample != 16)
        return false;
    // The encoder first: a format it refuses leaves no file behind.
    if (!m_encoder.open(sampleRate, channels))
        return false;
    if (!m_file.create(path)) {
        m_encoder.close();
        return false;
    }
    AacEncoderConfig& config = m_encoder.currentConfiguration();
    config.aacObjectType = AacEncoderConfig::kLowComplexity;
    config.mpegVersion = AacEncoderConfig::kMpeg4;
    config.useTns = 0;
    config.allowMidside = 1;
    config.bandWidth = 0;
    config.outputFormat = AacEncoderConfig::kRawOutput;
    config.inputFormat = AacEncoderConfig::k16BitInput;
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_bitsPerSample = bitsPerSample;
    m_encoderDelay = m_frameLength =
        static_cast<std::uint32_t>(m_encoder.inputSamples() / channels);
    m_opened = true;
    return true;
}

bool Mp4Writer::start() {
    if (!m_opened || m_started)
        return false;
    if (!m_encoder.setConfiguration(m_encoder.currentConfiguration()))
        return false;
    m_file.setTimeScale(kMovieTimeScale);
    m_track = m_file.addAudioTrack(static_cast<std::uint32_t>(m_sampleRate),
                                   Mp4File::kInvalidDuration, Mp4File::kMpeg4AudioType);
    m_file.setAudioProfileLevel(kAudioProfileLevel);
    if (m_track == Mp4File::kInvalidTrackId ||
        !m_file.setTrackEsConfiguration(m_track, m_encoder.decoderSpecificInfo()))
        return false;
    m_fedFrames = 0;
    m_writtenDuration = 0;
    m_pcm.reset(m_channels, m_encoder.inputSamples());
    m_outBuffer.assign(static_cast<std::size_t>(m_encoder.maxOutputBytes()), 0);
    m_started = true;
    return true;
}

void Mp4Writer::setTags(const Tags& tags) {
    if (!m_started)
        return;
    const auto text = [this](Mp4File::TextItem item, const std::string& value) {
        if (!value.empty())
            m_file.setMetadataText(item, repairUtf8(value));
    };
    text(Mp4File::TextItem::Name, tags.title);
    text(Mp4File::TextItem::Artist, tags.artist);
    text(Mp4File::TextItem::Album, tags.album);
    // The item holds a 16-bit number; a larger one could only be written wrapped.
    if (tags.track > 0 && tags.track <= std::numeric_limits<std::uint16_t>::max())
        m_file.setMetadataTrack(static_cast<std::uint16_t>(tags.track), 0);
    text(Mp4File::TextItem::Year, tags.year);
    text(Mp4File::TextItem::Genre, tags.genre);
    text(Mp4File::TextItem::Comment, tags.comment);
    text(Mp4File::TextItem::Writer, tags.composer);
}

bool Mp4Writer::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    if (!m_started || m_failed)
        return false;
    return m_pcm.append16(left, right, frames, [this](const std::int16_t* pcm, int samples) {
        return encodeFrame(pcm, samples);
    });
}

bool Mp4Writer::write8(const std::uint8_t* left, const std::uint8_t* right, int frames) {
    if (!m_started || m_failed)
        return false;
    return m_pcm.append8(left, right, frames, [this](const std::int16_t* pcm, int samples) {
        return encodeFrame(pcm, samples);
    });
}

bool Mp4Writer::encodeFrame(const std::int16_t* pcm, int samples) {
    m_fedFrames += static_cast<std::uint64_t>(samples / m_channels);
    const int bytes =
        m_encoder.encode(pcm, samples, m_outBuffer.data(), static_cast<int>(m_outBuffer.size()));
    if (bytes < 0 || (bytes > 0 && !writeSample(bytes))) {
        m_failed = true;
        return false;
    }
    return true;
}

bool Mp4Writer::writeSample(int bytes) {
    // Every sample lasts one frame until the track reaches the input plus the priming; the
    // sample that crosses that point is cut short, so the track ends where the input did.
    const std::uint64_t samplesLeft = m_fedFrames + m_encoderDelay - m_writtenDuration;
    const std::uint64_t duration = std::min<std::uint64_t>(samplesLeft, m_frameLength);
    // A frame past that point holds nothing of the input, and a sample of no duration would
    // share its time with the one before, which the container cannot store.
    if (duration == 0)
        return true;
    const std::uint64_t renderingOffset = m_writtenDuration == 0 ? m_encoderDelay : 0;
    if (!m_file.writeSample(m_track, std::span(m_outBuffer.data(), static_cast<std::size_t>(bytes)),
                            duration, renderingOffset, true))
        return false;
    m_writtenDuration += duration;
    return true;
}

void Mp4Writer::flush() {
    // The short last frame, then everything the encoder still holds: an input shorter than
    // the encoder's delay comes out only while draining.
    if (m_pcm.count() > 0) {
        const int samples = m_pcm.count();
        m_pcm.clear();
        if (!encodeFrame(m_pcm.data(), samples))
            return;
    }
    for (;;) {
        const int bytes =
            m_encoder.encode(nullptr, 0, m_outBuffer.data(), static_cast<int>(m_outBuffer.size()));
        if (bytes == 0)
            return;
        if (bytes < 0 || !writeSample(bytes)) {
            m_failed = true;
            return;
        }
    }
}

bool Mp4Writer::close() {
    if (!m_opened)
        return true;
    if (m_started && !m_failed)
        flush();
    const bool finished = m_file.close() && m_started && !m_failed;
    m_encoder.close();
    reset();
    return finished;
}

void Mp4Writer::reset() {
    m_pcm.reset(0, 0);
    m_outBuffer.clear();
    m_outBuffer.shrink_to_fit();
    m_track = Mp4File::kInvalidTrackId;
    m_fedFrames = 0;
    m_writtenDuration = 0;
    m_encoderDelay = 0;
    m_frameLength = 0;
    m_sampleRate = 0;
    m_channels = 0;
    m_bitsPerSample = 0;
    m_opened = false;
    m_started = false;
    m_failed = false;
}

} // namespace velmora
