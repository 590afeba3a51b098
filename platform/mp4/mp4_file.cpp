#include "platform/mp4/mp4_file.h"

#include "platform/write_all.h"

#include <algorithm>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace velmora {
namespace {

constexpr std::uint32_t kOnlyTrackId = 1;

// The file starts with ftyp (28 bytes), an 8-byte free box and the mdat header: should the
// media data pass 4 GiB, the free box and the mdat header become one 16-byte mdat header with
// a 64-bit size, and the media data stays where it is.
constexpr std::uint64_t kFileTypeBytes = 28;
constexpr std::uint64_t kMediaDataHeaderAt = kFileTypeBytes + 8;
constexpr std::uint64_t kMediaDataAt = kMediaDataHeaderAt + 8;

constexpr std::uint32_t kUnityMatrix[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
constexpr std::uint16_t kUndeterminedLanguage = 0x55C4; // "und", packed
// An AAC frame needs the one before it to decode whole: a roll distance of -1.
constexpr std::uint16_t kAacRollDistance = 0xFFFF;

// The AAC sampling-frequency table of an AudioSpecificConfig.
constexpr int kSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                22050, 16000, 12000, 11025, 8000,  7350};

bool endsWithMp4(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    std::string extension = path.substr(dot);
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".mp4";
}

// Reads an AudioSpecificConfig bit by bit; every read past the end fails.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool read(int bits, std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < bits; ++i) {
            if (m_bit >= m_bytes.size() * 8)
                return false;
            const std::uint8_t byte = m_bytes[m_bit / 8];
            value = value << 1 | ((byte >> (7 - m_bit % 8)) & 1u);
            ++m_bit;
        }
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_bit = 0;
};

struct AudioConfig {
    int sampleRate = 0;
    int channels = 0;
};

// Rate and channel count of an AudioSpecificConfig; channels 0 when it cannot be read or
// describes its channels in a program config element instead of a channel configuration.
AudioConfig parseAudioSpecificConfig(std::span<const std::uint8_t> bytes) {
    BitReader reader(bytes);
    std::uint32_t objectType = 0;
    std::uint32_t rateIndex = 0;
    std::uint32_t channelConfig = 0;
    if (!reader.read(5, objectType))
        return {};
    if (objectType == 31 && !reader.read(6, objectType)) // escape to a 6-bit extension
        return {};
    if (!reader.read(4, rateIndex))
        return {};
    AudioConfig config;
    if (rateIndex == 0xF) {
        std::uint32_t explicitRate = 0;
        if (!reader.read(24, explicitRate))
            return {};
        config.sampleRate = static_cast<int>(explicitRate);
    } else if (rateIndex < std::size(kSampleRates)) {
        config.sampleRate = kSampleRates[rateIndex];
    } else {
        return {};
    }
    if (!reader.read(4, channelConfig) || channelConfig == 0 || channelConfig > 7)
        return {};
    config.channels = channelConfig == 7 ? 8 : static_cast<int>(channelConfig);
    return config;
}

// Writes an MPEG-4 descriptor length in the four-byte form (0x80-continued).
void putDescriptorLength(Mp4BoxBuilder& movie, std::uint32_t length) {
    movie.u8(static_cast<std::uint8_t>(0x80 | (length >> 21 & 0x7F)));
    movie.u8(static_cast<std::uint8_t>(0x80 | (length >> 14 & 0x7F)));
    movie.u8(static_cast<std::uint8_t>(0x80 | (length >> 7 & 0x7F)));
    movie.u8(static_cast<std::uint8_t>(length & 0x7F));
}

} // namespace

Mp4File::Mp4File() = default;

Mp4File::~Mp4File() {
    close();
}

bool Mp4File::create(const std::string& path) {
    close();
    m_fd.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!m_fd.valid())
        return false;
    m_output.attach(m_fd.get(), 0);
    writeFileHeader(endsWithMp4(path));
    if (!m_output.flush()) {
        close();
        return false;
    }
    return true;
}

void Mp4File::writeFileHeader(bool plainMp4) {
    m_plainMp4 = plainMp4;
    Mp4BoxBuilder header;
    header.begin("ftyp");
    header.fourcc(plainMp4 ? "isom" : "M4A ");
    header.u32(0x200); // minor version
    for (const char* brand :
         plainMp4 ? std::array{"isom", "iso2", "mp41"} : std::array{"M4A ", "isom", "iso2"})
        header.fourcc(brand);
    header.end();
    header.begin("free");
    header.end();
    header.begin("mdat"); // its size is patched at close
    header.end();
    m_output.append(header.bytes());
}

void Mp4File::setTimeScale(std::uint32_t timeScale) {
    if (timeScale > 0 && timeScale <= static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        m_movieTimeScale = timeScale;
}

std::uint32_t Mp4File::addAudioTrack(std::uint32_t timeScale, std::uint64_t /*sampleDuration*/,
                                     std::uint8_t audioType) {
    if (!isOpen() || hasTrack() || audioType != kMpeg4AudioType || timeScale == 0 ||
        timeScale > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        return kInvalidTrackId;
    m_trackTimeScale = timeScale;
    m_table.open(timeScale);
    return kOnlyTrackId;
}

void Mp4File::setAudioProfileLevel(std::uint8_t level) {
    m_profileLevel = level;
}

bool Mp4File::setTrackEsConfiguration(std::uint32_t trackId, std::span<const std::uint8_t> config) {
    // The descriptor's length bytes hold 28 bits; a configuration is a few bytes in practice.
    if (!hasTrack() || trackId != kOnlyTrackId || m_table.sampleCount() > 0 ||
        config.size() > 0xFFFF || parseAudioSpecificConfig(config).channels == 0)
        return false;
    m_esConfiguration.assign(config.begin(), config.end());
    return true;
}

bool Mp4File::writeSample(std::uint32_t trackId, std::span<const std::uint8_t> bytes,
                          std::uint64_t duration, std::uint64_t renderingOffset,
                          bool isSyncSample) {
    constexpr auto kMaxTime = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    const bool first = m_table.sampleCount() == 0;
    if (m_esConfiguration.empty() || trackId != kOnlyTrackId || m_failed || bytes.empty() ||
        bytes.size() > std::numeric_limits<std::uint32_t>::max() || duration > kMaxTime ||
        renderingOffset > kMaxTime || (!first && renderingOffset) || !isSyncSample)
        return false;
    const std::uint64_t offset = m_output.position();
    if (!m_output.append(bytes) || !m_table.add(static_cast<std::uint32_t>(bytes.size()),
                                                static_cast<std::uint32_t>(duration), offset)) {
        m_failed = true;
        return false;
    }
    if (first)
        m_presentationSkip = renderingOffset;
    return true;
}

const char* Mp4File::metadataKey(TextItem item) {
    switch (item) {
    case TextItem::Name:
        return "\251nam";
    case TextItem::Artist:
        return "\251ART";
    case TextItem::Album:
        return "\251alb";
    case TextItem::Year:
        return "\251day";
    case TextItem::Genre:
        return "\251gen";
    case TextItem::Comment:
        return "\251cmt";
    case TextItem::Writer:
        return "\251wrt";
    }
    return "\251cmt";
}

void Mp4File::setMetadataText(TextItem item, std::string_view utf8) {
    if (isOpen())
        m_texts[static_cast<std::size_t>(item)] = utf8;
}

void Mp4File::setMetadataTrack(std::uint16_t track, std::uint16_t total) {
    if (!isOpen())
        return;
    m_track = track;
    m_trackTotal = track == 0 ? 0 : total;
}

bool Mp4File::close() {
    if (!isOpen())
        return true;
    // A file whose track was never described has no valid movie: the job failed.
    bool complete = !m_failed && !m_esConfiguration.empty();
    complete = m_output.flush() && complete;
    complete = complete && patchMediaDataSize() && writeMovie();
    complete = ::close(m_fd.release()) == 0 && complete;

    m_output.attach(-1, 0);
    m_table.close();
    m_plainMp4 = false;
    m_movieTimeScale = 1000;
    m_trackTimeScale = 0;
    m_profileLevel = -1;
    m_esConfiguration.clear();
    m_failed = false;
    m_presentationSkip = 0;
    m_texts = {};
    m_track = 0;
    m_trackTotal = 0;
    return complete;
}

bool Mp4File::patchMediaDataSize() {
    const std::uint64_t mediaBytes = m_output.position() - kMediaDataAt;
    Mp4BoxBuilder header;
    std::uint64_t at = kMediaDataHeaderAt;
    if (mediaBytes + 8 <= std::numeric_limits<std::uint32_t>::max()) {
        header.u32(static_cast<std::uint32_t>(mediaBytes + 8));
    } else {
        at = kFileTypeBytes;
        header.u32(1); // the size follows the type, in 64 bits
        header.fourcc("mdat");
        header.u64(mediaBytes + 16);
    }
    return writeAllAt(m_fd.get(), header.bytes().data(), header.bytes().size(),
                      static_cast<off_t>(at));
}

bool Mp4File::writeMovie() {
    Mp4BoxBuilder movie;
    buildMovie(movie);
    if (!movie.complete())
        return false;
    const std::vector<std::uint8_t>& bytes = movie.bytes();
    const std::size_t split = movie.externalAt().value_or(bytes.size());
    const auto append = [this](std::span<const std::uint8_t> piece) {
        return m_output.append(piece);
    };
    return append(std::span(bytes).first(split)) &&
           (!movie.externalAt() || m_table.streamSizes(append)) &&
           append(std::span(bytes).subspan(split)) && m_output.flush();
}

// Track units presented after the priming that the edit list skips.
std::uint64_t Mp4File::presentedTrackDuration() const {
    const std::uint64_t total = m_table.duration();
    return total > m_presentationSkip ? total - m_presentationSkip : 0;
}

std::uint64_t Mp4File::inMovieTime(std::uint64_t trackUnits) const {
    if (m_trackTimeScale == 0)
        return 0;
    // Rounded to the nearest unit.
    const unsigned __int128 scaled =
        static_cast<unsigned __int128>(trackUnits) * m_movieTimeScale + m_trackTimeScale / 2;
    return static_cast<std::uint64_t>(scaled / m_trackTimeScale);
}

void Mp4File::buildMovie(Mp4BoxBuilder& movie) {
    // A track without samples is left out, as players make nothing of an empty one.
    const bool withTrack = m_table.sampleCount() > 0;
    const std::uint64_t duration = withTrack ? inMovieTime(presentedTrackDuration()) : 0;
    movie.begin("moov");
    movie.beginFull("mvhd", timeVersion(duration));
    putTimes(movie, m_movieTimeScale, duration);
    movie.u32(0x00010000); // rate 1.0
    movie.u16(0x0100);     // volume 1.0
    movie.zeros(10);
    for (const std::uint32_t value : kUnityMatrix)
        movie.u32(value);
    movie.zeros(24);
    movie.u32(withTrack ? kOnlyTrackId + 1 : kOnlyTrackId); // the next track id
    movie.end();

    if (m_profileLevel >= 0) {
        movie.beginFull("iods", 0);
        movie.u8(0x10); // MP4_IOD tag
        for (const std::uint8_t length : {0x80, 0x80, 0x80, 0x07})
            movie.u8(length);
        movie.u16(0x004F); // object descriptor id 1, no URL, no inline profiles
        movie.u8(0xFF);    // no OD profile
        movie.u8(0xFF);    // no scene profile
        movie.u8(static_cast<std::uint8_t>(m_profileLevel));
        movie.u8(0xFF); // no visual profile
        movie.u8(0xFF); // no graphics profile
        movie.end();
    }
    if (withTrack)
        buildTrack(movie);
    buildMetadata(movie);
    movie.end();
}

void Mp4File::buildTrack(Mp4BoxBuilder& movie) {
    movie.begin("trak");
    buildTrackHeader(movie);
    if (m_presentationSkip > 0)
        buildEditList(movie);
    movie.begin("mdia");
    buildMediaHeader(movie);
    movie.begin("minf");
    buildMediaInformation(movie);
    movie.begin("stbl");
    buildSampleDescription(movie);
    m_table.writeBoxes(movie);
    buildRollGroup(movie);
    movie.end(); // stbl
    movie.end(); // minf
    movie.end(); // mdia
    movie.end(); // trak
}

// Version 0 boxes hold times in 32 bits, version 1 in 64: the version a duration needs.
std::uint8_t Mp4File::timeVersion(std::uint64_t duration) {
    return duration > std::numeric_limits<std::uint32_t>::max() ? 1 : 0;
}

// Creation and modification times (none, so that a file is reproducible), the time scale and
// `duration`, in the widths of the version timeVersion() gives.
void Mp4File::putTimes(Mp4BoxBuilder& movie, std::uint32_t timeScale, std::uint64_t duration) {
    const bool wide = timeVersion(duration) == 1;
    movie.zeros(wide ? 16 : 8);
    movie.u32(timeScale);
    if (wide)
        movie.u64(duration);
    else
        movie.u32(static_cast<std::uint32_t>(duration));
}

void Mp4File::buildTrackHeader(Mp4BoxBuilder& movie) {
    const std::uint64_t presented = inMovieTime(presentedTrackDuration());
    movie.beginFull("tkhd", timeVersion(presented), 0x3); // enabled, in the movie
    const bool wide = timeVersion(presented) == 1;
    movie.zeros(wide ? 16 : 8);
    movie.u32(kOnlyTrackId);
    movie.u32(0);
    if (wide)
        movie.u64(presented);
    else
        movie.u32(static_cast<std::uint32_t>(presented));
    movie.zeros(8);
    movie.u16(0);      // layer
    movie.u16(1);      // alternate group
    movie.u16(0x0100); // volume 1.0
    movie.u16(0);
    for (const std::uint32_t value : kUnityMatrix)
        movie.u32(value);
    movie.zeros(8); // no width or height
    movie.end();
}

// Presentation starts after the encoder's priming.
void Mp4File::buildEditList(Mp4BoxBuilder& movie) {
    const std::uint64_t presented = inMovieTime(presentedTrackDuration());
    const bool wide = timeVersion(presented) == 1;
    movie.begin("edts");
    movie.beginFull("elst", timeVersion(presented));
    movie.u32(1);
    if (wide) {
        movie.u64(presented);
        movie.u64(m_presentationSkip);
    } else {
        movie.u32(static_cast<std::uint32_t>(presented));
        movie.u32(static_cast<std::uint32_t>(m_presentationSkip));
    }
    movie.u32(0x00010000); // rate 1.0
    movie.end();
    movie.end();
}

void Mp4File::buildMediaHeader(Mp4BoxBuilder& movie) {
    movie.beginFull("mdhd", timeVersion(m_table.duration()));
    putTimes(movie, m_trackTimeScale, m_table.duration());
    movie.u16(kUndeterminedLanguage);
    movie.u16(0);
    movie.end();

    movie.beginFull("hdlr", 0);
    movie.u32(0);
    movie.fourcc("soun");
    movie.zeros(12);
    for (const char c : std::string_view("SoundHandler"))
        movie.u8(static_cast<std::uint8_t>(c));
    movie.u8(0);
    movie.end();
}

void Mp4File::buildMediaInformation(Mp4BoxBuilder& movie) {
    movie.beginFull("smhd", 0);
    movie.u32(0); // balance and reserved
    movie.end();
    movie.begin("dinf");
    movie.beginFull("dref", 0);
    movie.u32(1);
    movie.beginFull("url ", 0, 0x1); // the media is in this file
    movie.end();
    movie.end();
    movie.end();
}

void Mp4File::buildRollGroup(Mp4BoxBuilder& movie) {
    movie.beginFull("sgpd", 1);
    movie.fourcc("roll");
    movie.u32(2); // entry length
    movie.u32(1);
    movie.u16(kAacRollDistance);
    movie.end();
    movie.beginFull("sbgp", 0);
    movie.fourcc("roll");
    movie.u32(1);
    movie.u32(m_table.sampleCount());
    movie.u32(1); // every sample in the group above
    movie.end();
}

void Mp4File::buildSampleDescription(Mp4BoxBuilder& movie) {
    movie.beginFull("stsd", 0);
    movie.u32(1);
    movie.begin("mp4a");
    movie.zeros(6);
    movie.u16(1);   // data reference index
    movie.zeros(8); // version, revision, vendor
    // The MP4 form of the entry always says two 16-bit channels; the decoder configuration
    // tells the truth.
    movie.u16(2);
    movie.u16(16);
    movie.u32(0); // compression id, packet size
    movie.u32(m_trackTimeScale <= 0xFFFF ? m_trackTimeScale << 16 : 0); // 16.16, 0 if it cannot
                                                                        // hold the rate

    const auto configBytes = static_cast<std::uint32_t>(m_esConfiguration.size());
    const std::uint32_t decoderSpecific = 5 + configBytes;
    const std::uint32_t decoderConfig = 13 + decoderSpecific;
    const std::uint32_t esDescriptor = 3 + (5 + decoderConfig) + (5 + 1);
    movie.beginFull("esds", 0);
    movie.u8(0x03); // ES descriptor
    putDescriptorLength(movie, esDescriptor);
    movie.u16(kOnlyTrackId);
    movie.u8(0);    // no dependence, URL or OCR stream
    movie.u8(0x04); // decoder configuration
    putDescriptorLength(movie, decoderConfig);
    movie.u8(kMpeg4AudioType);
    movie.u8(0x15); // audio stream, reserved bit set
    movie.u24(std::min<std::uint32_t>(m_table.largestSample(), 0xFFFFFF)); // buffer size
    movie.u32(m_table.peakBitrate());
    movie.u32(m_table.averageBitrate());
    movie.u8(0x05); // decoder-specific information: the AudioSpecificConfig
    putDescriptorLength(movie, configBytes);
    movie.append(m_esConfiguration);
    movie.u8(0x06); // SL configuration: the predefined MP4 one
    putDescriptorLength(movie, 1);
    movie.u8(0x02);
    movie.end();

    if (m_plainMp4) {
        movie.begin("btrt");
        movie.u32(std::min<std::uint32_t>(m_table.largestSample(), 0xFFFFFF));
        movie.u32(m_table.peakBitrate());
        movie.u32(m_table.averageBitrate());
        movie.end();
    }
    movie.end(); // mp4a
    movie.end(); // stsd
}

void Mp4File::buildMetadata(Mp4BoxBuilder& movie) {
    // The order players and taggers list them in.
    constexpr TextItem kOrder[] = {TextItem::Name,  TextItem::Artist, TextItem::Writer,
                                   TextItem::Album, TextItem::Year,   TextItem::Comment,
                                   TextItem::Genre};
    const bool anyText = std::any_of(m_texts.begin(), m_texts.end(),
                                     [](const std::string& text) { return !text.empty(); });
    if (!anyText && m_track == 0)
        return;
    movie.begin("udta");
    movie.beginFull("meta", 0);
    movie.beginFull("hdlr", 0);
    movie.u32(0);
    movie.fourcc("mdir");
    movie.fourcc("appl");
    movie.zeros(8);
    movie.u8(0); // no name
    movie.end();
    movie.begin("ilst");
    for (const TextItem item : kOrder) {
        const std::string& text = m_texts[static_cast<std::size_t>(item)];
        if (text.empty())
            continue;
        movie.begin(metadataKey(item));
        movie.begin("data");
        movie.u32(1); // UTF-8 text
        movie.u32(0); // no locale
        movie.append(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        movie.end();
        movie.end();
    }
    if (m_track > 0) {
        movie.begin("trkn");
        movie.begin("data");
        movie.u32(0); // binary
        movie.u32(0);
        movie.u16(0);
        movie.u16(m_track);
        movie.u16(m_trackTotal);
        movie.u16(0);
        movie.end();
        movie.end();
    }
    movie.end(); // ilst
    movie.end(); // meta
    movie.end(); // udta
}

} // namespace velmora
