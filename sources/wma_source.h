#pragma once

#include "platform/wmf/wmf_header_info.h"
#include "platform/wmf/wmf_sync_reader.h"
#include "sources/audio_source.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Windows Media files (WMA, WMV, ASF) through the Windows Media runtime's synchronous reader:
// the first audio stream, delivered as 16-bit PCM; more than two channels deliver channels 0
// and 1. length is the "Duration" attribute and position the presentation time of the last
// sample read, both in 100-ns units.
class WmaSource : public AudioSource {
public:
    static constexpr std::uint64_t kHundredNsPerSecond = 10'000'000;

    WmaSource() = default;
    ~WmaSource() override;

    void close() override;
    bool open(const std::string& path, int renderRate) override;
    int read(std::int16_t* left, std::int16_t* right) override;
    // Always true; the track is given as "%d", "0" when the file has none.
    bool readTags(TagSet& tags) override;

    // "WM/TrackNumber" as a number: a numeric attribute as it is, a text one by its leading
    // decimal digits (after blanks and an optional sign), 0 when there are none.
    static int trackNumberOf(const WmfAttribute& attribute);

private:
    std::string textAttribute(std::string_view name) const;

    WmfSyncReader m_reader;
    WmfHeaderInfo m_header;
    TagSet m_tags; // track kept as its number below
    int m_track = 0;

    std::vector<std::int16_t> m_samples; // interleaved PCM of the last sample read
    std::size_t m_sampleFrames = 0;      // whole frames in m_samples
    std::size_t m_nextFrame = 0;         // next undelivered frame of m_samples
};

} // namespace velmora
