#include "sources/audio_source.h"

namespace velmora {

void AudioSource::close() {
    resetBaseFields();
}

bool AudioSource::readTags(TagSet&) {
    return false;
}

void AudioSource::resetBaseFields() {
    m_length = 0;
    m_position = 0;
    m_durationSeconds = 0;
    m_sampleRate = 0;
    m_channels = 0;
    m_outChannels = 0;
    m_bitsPerSample = 0;
    m_bytesPerSample = 0;
    m_bitrateKbps = 0;
    m_channelMode = kUnknownChannelMode;
}

} // namespace velmora
