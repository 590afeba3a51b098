#pragma once

#include "platform/buffered_output.h"
#include "platform/file_descriptor.h"
#include "platform/mp4/mp4_box_builder.h"
#include "platform/mp4/mp4_sample_table.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// An MPEG-4 file writer holding one AAC audio track: create the file, set the movie time
// scale, add the track, its profile level and decoder configuration, write one sample per
// encoded frame, set the metadata items, close.
//
// - Brand "M4A " for every name but ".mp4", which gets the plain MP4 brands.
// - The iods atom is written with the audio profile-level indication given.
// - Track time scale = the audio sample rate given to addAudioTrack.
// - A rendering offset on the first sample becomes an edit list that starts presentation that
//   many units into the track: the form players honour for an encoder's priming samples.
//   Later samples can carry none, and every sample is a sync sample, as audio frames are.
// - Metadata items are UTF-8 text atoms (ilst); the track number becomes "trkn".
//
// The samples stream into the media data as they come; the index follows it at close. What
// the index needs per sample goes to a spill file, so memory stays flat however long the
// track: a three-hour ringtone costs what a three-minute one does.
class Mp4File {
public:
    static constexpr std::uint32_t kInvalidTrackId = 0;
    // addAudioTrack's sampleDuration when samples differ in length.
    static constexpr std::uint64_t kInvalidDuration = ~std::uint64_t{0};
    static constexpr std::uint8_t kMpeg4AudioType = 0x40;

    enum class TextItem { Name, Artist, Album, Year, Genre, Comment, Writer };

    Mp4File();
    ~Mp4File();
    Mp4File(const Mp4File&) = delete;
    Mp4File& operator=(const Mp4File&) = delete;

    // Creates (or truncates) the file. A file still open is closed first.
    bool create(const std::string& path);
    bool isOpen() const { return m_fd.valid(); }

    // Units per second of the movie header and the edit list.
    void setTimeScale(std::uint32_t timeScale);
    // The track id, kInvalidTrackId when a track exists already, the type is not MPEG-4
    // audio, or the time scale is 0. The track's samples carry timestamps in time-scale units.
    std::uint32_t addAudioTrack(std::uint32_t timeScale, std::uint64_t sampleDuration,
                                std::uint8_t audioType);
    void setAudioProfileLevel(std::uint8_t level);
    // The AudioSpecificConfig; its channel configuration becomes the track's channel count.
    // False for an unknown track or a configuration that names no channels.
    bool setTrackEsConfiguration(std::uint32_t trackId, std::span<const std::uint8_t> config);

    // One sample of `duration` time-scale units. False for an unknown track, a rendering offset
    // on a later sample, a sample that is not a sync sample, before the ES configuration, or
    // when the file cannot take it.
    bool writeSample(std::uint32_t trackId, std::span<const std::uint8_t> bytes,
                     std::uint64_t duration, std::uint64_t renderingOffset, bool isSyncSample);

    // Empty text removes the item.
    void setMetadataText(TextItem item, std::string_view utf8);
    // "trkn": track of total; 0 of any total removes the item.
    void setMetadataTrack(std::uint16_t track, std::uint16_t total);

    // Writes the index and the metadata and closes the file. False when any of that failed or
    // an earlier sample was refused (the file is then incomplete). True when nothing is open.
    bool close();

private:
    bool hasTrack() const { return m_trackTimeScale != 0; }
    void writeFileHeader(bool plainMp4);
    bool patchMediaDataSize();
    bool writeMovie();
    void buildMovie(Mp4BoxBuilder& movie);
    void buildTrack(Mp4BoxBuilder& movie);
    void buildTrackHeader(Mp4BoxBuilder& movie);
    void buildEditList(Mp4BoxBuilder& movie);
    void buildMediaHeader(Mp4BoxBuilder& movie);
    void buildMediaInformation(Mp4BoxBuilder& movie);
    void buildRollGroup(Mp4BoxBuilder& movie);
    void buildSampleDescription(Mp4BoxBuilder& movie);
    void buildMetadata(Mp4BoxBuilder& movie);
    std::uint64_t presentedTrackDuration() const;
    std::uint64_t inMovieTime(std::uint64_t trackUnits) const;
    static const char* metadataKey(TextItem item);
    static std::uint8_t timeVersion(std::uint64_t duration);
    static void putTimes(Mp4BoxBuilder& movie, std::uint32_t timeScale, std::uint64_t duration);

    FileDescriptor m_fd;
    BufferedOutput m_output;
    Mp4SampleTable m_table;
    bool m_plainMp4 = false;
    std::uint32_t m_movieTimeScale = 1000;
    std::uint32_t m_trackTimeScale = 0;          // 0 until the track is added
    int m_profileLevel = -1;                     // none until set
    std::vector<std::uint8_t> m_esConfiguration; // empty until set
    bool m_failed = false;
    std::uint64_t m_presentationSkip = 0;
    std::array<std::string, 7> m_texts; // by TextItem
    std::uint16_t m_track = 0;
    std::uint16_t m_trackTotal = 0;
};

} // namespace velmora
