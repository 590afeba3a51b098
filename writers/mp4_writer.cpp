#include "writers/mp4_writer.h"

#include "platform/text_encoding.h"

#include <algorithm>
#include <limits>

namespace velmora {

Mp4Writer::Mp4Writer()
    : m_aac([this](std::span<const std::uint8_t> frame) { return writeSample(frame); }) {}

Mp4Writer::~Mp4Writer() {
    close();
}

bool Mp4Writer::open(const std::string& path, int sampleRate, int channels, int bitsPerSample) {
    close();
    if (bitsPerSample != 8 && bitsPerSample != 16)
        return false;
    // The encoder first: a format it refuses leaves no file behind.
    if (!m_aac.open(sampleRate, channels, AacEncoderConfig::kRawOutput))
        return false;
    if (!m_file.create(path)) {
        m_aac.close();
        return false;
    }
    m_sampleRate = sampleRate;
    m_encoderDelay = m_frameLength = static_cast<std::uint32_t>(m_aac.frameLength());
    m_opened = true;
    return true;
}

bool Mp4Writer::start() {
    if (!m_opened || m_started || !m_aac.start())
        return false;
    m_file.setTimeScale(kMovieTimeScale);
    m_track = m_file.addAudioTrack(static_cast<std::uint32_t>(m_sampleRate),
                                   Mp4File::kInvalidDuration, Mp4File::kMpeg4AudioType);
    m_file.setAudioProfileLevel(kAudioProfileLevel);
    if (m_track == Mp4File::kInvalidTrackId ||
        !m_file.setTrackEsConfiguration(m_track, m_aac.decoderSpecificInfo()))
        return false;
    m_writtenDuration = 0;
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
    text(Mp4File::TextItem::Name, tags.text.title);
    text(Mp4File::TextItem::Artist, tags.text.artist);
    text(Mp4File::TextItem::Album, tags.text.album);
    // The item holds a 16-bit number; a larger one could only be written wrapped.
    if (tags.track > 0 && tags.track <= std::numeric_limits<std::uint16_t>::max())
        m_file.setMetadataTrack(static_cast<std::uint16_t>(tags.track), 0);
    text(Mp4File::TextItem::Year, tags.text.year);
    text(Mp4File::TextItem::Genre, tags.text.genre);
    text(Mp4File::TextItem::Comment, tags.text.comment);
    text(Mp4File::TextItem::Writer, tags.text.composer);
}

bool Mp4Writer::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    return m_started && m_aac.write16(left, right, frames);
}

bool Mp4Writer::write8(const std::uint8_t* left, const std::uint8_t* right, int frames) {
    return m_started && m_aac.write8(left, right, frames);
}

bool Mp4Writer::writeSample(std::span<const std::uint8_t> frame) {
    // Every sample lasts one frame until the track reaches the input plus the priming; the
    // sample that crosses that point is cut short, so the track ends where the input did.
    const std::uint64_t samplesLeft = m_aac.fedFrames() + m_encoderDelay - m_writtenDuration;
    const std::uint64_t duration = std::min<std::uint64_t>(samplesLeft, m_frameLength);
    // A frame past that point holds nothing of the input, and a sample of no duration would
    // share its time with the one before, which the container cannot store.
    if (duration == 0)
        return true;
    const std::uint64_t renderingOffset = m_writtenDuration == 0 ? m_encoderDelay : 0;
    if (!m_file.writeSample(m_track, frame, duration, renderingOffset, true))
        return false;
    m_writtenDuration += duration;
    return true;
}

bool Mp4Writer::close() {
    if (!m_opened)
        return true;
    const bool encoded = m_started && m_aac.finish();
    const bool finished = m_file.close() && encoded;
    m_aac.close();
    reset();
    return finished;
}

void Mp4Writer::reset() {
    m_track = Mp4File::kInvalidTrackId;
    m_writtenDuration = 0;
    m_encoderDelay = 0;
    m_frameLength = 0;
    m_sampleRate = 0;
    m_opened = false;
    m_started = false;
}

} // namespace velmora
