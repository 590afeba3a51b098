#include "sources/wma_source.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>

namespace velmora {

WmaSource::~WmaSource() {
    close();
}

void WmaSource::close() {
    m_reader.close();
    m_header.clear();
    m_tags = {};
    m_track = 0;
    m_samples.clear();
    m_sampleFrames = 0;
    m_nextFrame = 0;
    resetBaseFields();
}

int WmaSource::trackNumberOf(const WmfAttribute& attribute) {
    if (attribute.type == WmfAttribute::Type::Number)
        return static_cast<int>(std::min<std::uint64_t>(attribute.number, INT_MAX));
    if (attribute.type != WmfAttribute::Type::Text)
        return 0;
    const std::string& text = attribute.text;
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), INT_MAX);
    return static_cast<int>(negative ? -value : value);
}

std::string WmaSource::textAttribute(std::string_view name) const {
    const auto attribute = m_header.attribute(name);
    if (!attribute)
        return {};
    if (attribute->type == WmfAttribute::Type::Number)
        return std::to_string(attribute->number);
    return attribute->text;
}

bool WmaSource::open(const std::string& path, int /*renderRate*/) {
    close();
    if (!m_reader.open(path) || !m_header.read(path)) {
        close();
        return false;
    }
    m_tags.title = textAttribute("Title");
    m_tags.artist = textAttribute("Author");
    m_tags.comment = textAttribute("Description");
    m_tags.album = textAttribute("WM/AlbumTitle");
    m_tags.genre = textAttribute("WM/Genre");
    m_tags.year = textAttribute("WM/Year");
    m_tags.copyright = textAttribute("Copyright");
    m_tags.composer = textAttribute("WM/Composer");
    if (const auto track = m_header.attribute("WM/TrackNumber"))
        m_track = trackNumberOf(*track);

    if (const auto duration = m_header.attribute(WmfHeaderInfo::kDuration);
        duration && duration->type == WmfAttribute::Type::Number) {
        m_length = duration->number;
        m_durationSeconds =
            static_cast<int>(std::min<std::uint64_t>(m_length / kHundredNsPerSecond, INT_MAX));
    }
    if (const auto bitrate = m_header.attribute(WmfHeaderInfo::kBitrate);
        bitrate && bitrate->type == WmfAttribute::Type::Number)
        m_bitrateKbps = static_cast<int>(std::min<std::uint64_t>(bitrate->number / 1000, INT_MAX));

    m_sampleRate = m_reader.sampleRate();
    m_channels = m_reader.channels();
    m_outChannels = m_channels < 2 ? 1 : 2;
    m_bitsPerSample = 16;
    m_bytesPerSample = 2;
    m_position = 0;
    return true;
}

int WmaSource::read(std::int16_t* left, std::int16_t* right) {
    if (!m_reader.isOpen())
        return 0;
    // channels() is positive from here on (the reader refuses an output without channels).
    const auto channels = static_cast<std::size_t>(m_channels);
    int delivered = 0;
    while (delivered < kMaxFramesPerRead) {
        if (m_nextFrame >= m_sampleFrames) {
            std::uint64_t time = m_position;
            if (!m_reader.nextSample(m_samples, time))
                break;
            m_position = time;
            m_sampleFrames = m_samples.size() / channels;
            m_nextFrame = 0;
            continue;
        }
        const std::size_t take =
            std::min<std::size_t>(m_sampleFrames - m_nextFrame, kMaxFramesPerRead - delivered);
        for (std::size_t i = 0; i < take; ++i) {
            const std::int16_t* frame = &m_samples[(m_nextFrame + i) * channels];
            left[delivered + static_cast<int>(i)] = frame[0];
            if (m_outChannels == 2)
                right[delivered + static_cast<int>(i)] = frame[1];
        }
        m_nextFrame += take;
        delivered += static_cast<int>(take);
    }
    return delivered;
}

bool WmaSource::readTags(TagSet& tags) {
    tags = m_tags;
    char track[16];
    std::snprintf(track, sizeof track, "%d", m_track);
    tags.track = track;
    return true;
}

} // namespace velmora
