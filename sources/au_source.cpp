#include "sources/au_source.h"

#include "platform/float_sample.h"
#include "platform/regular_file.h"
#include "sources/codecs/g711.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>

namespace velmora {
namespace {

constexpr std::size_t kFramesPerStep = AudioSource::kMaxFramesPerRead;
// An encoding word at or above this is taken as damaged and searched for further on.
constexpr std::uint32_t kFirstInvalidEncoding = 28;
constexpr std::size_t kEncodingOffset = 12;
constexpr std::size_t kSearchFirst = 13;
constexpr std::size_t kSearchLast = 32;

constexpr std::array<std::uint8_t, 4> kMagicBig = {0x2E, 0x73, 0x6E, 0x64};       // ".snd"
constexpr std::array<std::uint8_t, 4> kMagicBigAlt = {0x2E, 0x73, 0x64, 0x00};    // ".sd\0"
constexpr std::array<std::uint8_t, 4> kMagicLittle = {0x64, 0x6E, 0x73, 0x2E};    // "dns."
constexpr std::array<std::uint8_t, 4> kMagicLittleAlt = {0x00, 0x64, 0x73, 0x2E}; // "\0ds."

// Bits per stored sample or ADPCM code; 0 for an encoding this reader does not decode.
int codeBitsOf(std::uint32_t encoding) {
    switch (static_cast<AuEncoding>(encoding)) {
    case AuEncoding::Mulaw:
    case AuEncoding::Alaw:
    case AuEncoding::Linear8:
        return 8;
    case AuEncoding::Linear16:
        return 16;
    case AuEncoding::Linear24:
        return 24;
    case AuEncoding::Linear32:
    case AuEncoding::Float:
        return 32;
    case AuEncoding::Double:
        return 64;
    case AuEncoding::G721:
        return G72xDecoder::codeBitsOf(G72xDecoder::Variant::G721);
    case AuEncoding::G723_24:
        return G72xDecoder::codeBitsOf(G72xDecoder::Variant::G723_24);
    case AuEncoding::G723_40:
        return G72xDecoder::codeBitsOf(G72xDecoder::Variant::G723_40);
    }
    return 0;
}

bool isAdpcm(AuEncoding encoding) {
    return encoding == AuEncoding::G721 || encoding == AuEncoding::G723_24 ||
           encoding == AuEncoding::G723_40;
}

G72xDecoder::Variant variantOf(AuEncoding encoding) {
    switch (encoding) {
    case AuEncoding::G723_24:
        return G72xDecoder::Variant::G723_24;
    case AuEncoding::G723_40:
        return G72xDecoder::Variant::G723_40;
    default:
        return G72xDecoder::Variant::G721;
    }
}

// The header word at byte `offset` in the file's byte order; none past the bytes read.
std::optional<std::uint32_t> wordAt(std::span<const std::uint8_t> bytes, std::size_t offset,
                                    bool bigEndian) {
    ByteReader in(bytes);
    std::uint32_t value = 0;
    if (!in.seek(offset))
        return std::nullopt;
    if (!(bigEndian ? in.readU32BE(value) : in.readU32LE(value)))
        return std::nullopt;
    return value;
}

// The stored sample's bytes as an unsigned number, most significant first.
std::uint64_t sampleBits(std::span<const std::uint8_t> sample, bool bigEndian) {
    std::uint64_t bits = 0;
    if (bigEndian) {
        for (const std::uint8_t b : sample)
            bits = (bits << 8) | b;
    } else {
        for (auto it = sample.rbegin(); it != sample.rend(); ++it)
            bits = (bits << 8) | *it;
    }
    return bits;
}

} // namespace

AuSource::~AuSource() = default;

std::optional<AuHeader> AuSource::parseHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kMinDataOffset)
        return std::nullopt;
    AuHeader h;
    const auto magic = bytes.first<4>();
    if (std::ranges::equal(magic, kMagicBig) || std::ranges::equal(magic, kMagicBigAlt))
        h.bigEndian = true;
    else if (std::ranges::equal(magic, kMagicLittle) || std::ranges::equal(magic, kMagicLittleAlt))
        h.bigEndian = false;
    else
        return std::nullopt;

    const auto word = [&](std::size_t offset) { return wordAt(bytes, offset, h.bigEndian); };
    const auto offset = word(4);
    const auto size = word(8);
    if (!offset || !size || *offset < kMinDataOffset)
        return std::nullopt;
    h.dataOffset = *offset;
    h.dataSize = *size;

    std::size_t encodingAt = kEncodingOffset;
    std::optional<std::uint32_t> encoding = word(encodingAt);
    if (!encoding || *encoding >= kFirstInvalidEncoding) {
        // A damaged encoding word: the first plausible word one byte further on, and so on.
        encoding.reset();
        for (std::size_t at = kSearchFirst; at <= kSearchLast; ++at) {
            const auto candidate = word(at);
            if (!candidate)
                break;
            if (*candidate < kFirstInvalidEncoding) {
                encoding = candidate;
                encodingAt = at;
                break;
            }
        }
    }
    if (!encoding)
        return std::nullopt;
    h.codeBits = codeBitsOf(*encoding);
    if (h.codeBits == 0)
        return std::nullopt;
    h.encoding = static_cast<AuEncoding>(*encoding);

    // Rate and channel count follow wherever the encoding was found.
    const auto rate = word(encodingAt + 4);
    const auto channels = word(encodingAt + 8);
    if (!rate || !channels)
        return std::nullopt;
    h.sampleRate = (*rate < kMinRate || *rate > kMaxRate) ? kReplacementRate : *rate;
    h.channels = (*channels == 0 || *channels > kMaxChannels) ? 1 : *channels;
    return h;
}

void AuSource::close() {
    m_reader.reset();
    m_file.reset();
    m_header = AuHeader{};
    m_sampleBytes = 0;
    m_readBuffer = std::vector<std::uint8_t>();
    m_g72x.clear();
    m_bitBuffer = 0;
    m_bitCount = 0;
    AudioSource::close();
}

bool AuSource::open(const std::string& path, int /*renderRate*/) {
    close();
    std::FILE* file = openRegularFileStream(path);
    if (!file)
        return false;
    m_file.reset(file);
    m_reader = ByteReader::fromFile(file);
    if (!m_reader) {
        close();
        return false;
    }
    std::array<std::uint8_t, kHeaderBytes> start{};
    const std::size_t got = m_reader->readUpTo(start);
    const std::optional<AuHeader> header = parseHeader(std::span(start).first(got));
    // The data must start inside the file.
    if (!header || !m_reader->seek(header->dataOffset)) {
        close();
        return false;
    }
    m_header = *header;
    const std::size_t channels = m_header.channels; // 1..kMaxChannels, from the parse
    if (isAdpcm(m_header.encoding)) {
        m_g72x.assign(channels, G72xDecoder(variantOf(m_header.encoding)));
        // 1152 codes per channel fill whole bytes, so a full step leaves the reservoir empty.
        m_readBuffer.resize(channels * static_cast<std::size_t>(m_header.codeBits) *
                            kFramesPerStep / 8);
    } else {
        m_sampleBytes = static_cast<std::size_t>(m_header.codeBits) / 8;
        m_readBuffer.resize(channels * kFramesPerStep * m_sampleBytes);
    }
    describeStream();
    return true;
}

void AuSource::describeStream() {
    const AuHeader& h = m_header;
    const std::uint64_t fileSize = m_reader->size();
    // dataOffset lies within the file: open could seek there. A size word claiming more than
    // the file holds is cut to what is there.
    const std::uint64_t available = fileSize - h.dataOffset;
    m_length =
        h.dataSize == kUnknownDataSize ? available : std::min<std::uint64_t>(h.dataSize, available);
    m_position = 0;
    m_sampleRate = static_cast<int>(h.sampleRate);
    m_channels = static_cast<int>(h.channels);
    m_outChannels = h.channels == 1 ? 1 : 2;
    m_bitsPerSample = 16;
    m_bytesPerSample = 2;
    // Divisors are non-zero: codeBits, channels and the rate are checked or replaced by the parse.
    const std::uint64_t bits = m_length > UINT64_MAX / 8 ? UINT64_MAX : m_length * 8;
    const std::uint64_t seconds =
        bits / (static_cast<std::uint64_t>(h.codeBits) * h.channels) / h.sampleRate;
    m_durationSeconds = static_cast<int>(std::min<std::uint64_t>(seconds, INT_MAX));
    const std::uint64_t bitrate =
        seconds != 0 ? m_length / (seconds * 125)
                     : static_cast<std::uint64_t>(h.codeBits) * h.channels * h.sampleRate / 1000;
    m_bitrateKbps = static_cast<int>(std::min<std::uint64_t>(bitrate, INT_MAX));
}

int AuSource::read(std::int16_t* left, std::int16_t* right) {
    if (!m_reader)
        return 0;
    return isAdpcm(m_header.encoding) ? readAdpcm(left, right) : readPlain(left, right);
}

std::size_t AuSource::readData(std::size_t request) {
    // m_position never passes m_length: it only grows by requests capped at what is left.
    request = static_cast<std::size_t>(std::min<std::uint64_t>(
        {request, m_length - m_position, std::uint64_t{m_readBuffer.size()}}));
    m_position += request;
    // Data that ends before its size word says ends the stream here with a short read or none.
    return m_reader->readUpTo(std::span(m_readBuffer).first(request));
}

std::int16_t AuSource::convert(std::span<const std::uint8_t> sample) const {
    const std::uint64_t bits = sampleBits(sample, m_header.bigEndian);
    switch (m_header.encoding) {
    case AuEncoding::Mulaw:
        return g711::mulawToLinear(sample[0]);
    case AuEncoding::Alaw:
        return g711::alawToLinear(sample[0]);
    case AuEncoding::Linear8:
        return static_cast<std::int16_t>(static_cast<std::int8_t>(sample[0]) * 256);
    case AuEncoding::Linear16:
        return static_cast<std::int16_t>(bits);
    case AuEncoding::Linear24:
        return static_cast<std::int16_t>(bits >> 8);
    case AuEncoding::Linear32:
        return static_cast<std::int16_t>(bits >> 16);
    case AuEncoding::Float:
        return floatToSample(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    case AuEncoding::Double:
        return floatToSample(std::bit_cast<double>(bits));
    default:
        return 0;
    }
}

int AuSource::readPlain(std::int16_t* left, std::int16_t* right) {
    const std::size_t got = readData(m_readBuffer.size());
    const std::size_t channels = m_header.channels;
    const std::size_t frameBytes = channels * m_sampleBytes;
    const std::size_t frames = got / frameBytes;
    const auto bytes = std::span<const std::uint8_t>(m_readBuffer);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const auto frameSpan = bytes.subspan(frame * frameBytes, frameBytes);
        left[frame] = convert(frameSpan.first(m_sampleBytes));
        if (channels > 1)
            right[frame] = convert(frameSpan.subspan(m_sampleBytes, m_sampleBytes));
    }
    return static_cast<int>(frames);
}

int AuSource::readAdpcm(std::int16_t* left, std::int16_t* right) {
    const std::size_t got = readData(m_readBuffer.size());
    const auto codeBits = static_cast<std::size_t>(m_header.codeBits);
    const std::size_t channels = m_header.channels;
    const std::size_t frameBits = channels * codeBits;
    const std::size_t frames =
        std::min(kFramesPerStep, (static_cast<std::size_t>(m_bitCount) + got * 8) / frameBits);
    const unsigned mask = (1u << codeBits) - 1u;
    std::size_t next = 0; // next byte of m_readBuffer to take into the reservoir
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            // Codes are packed least significant bit first; a byte goes above the bits held.
            while (m_bitCount < static_cast<int>(codeBits)) {
                m_bitBuffer |= static_cast<std::uint32_t>(m_readBuffer[next++]) << m_bitCount;
                m_bitCount += 8;
            }
            const unsigned code = m_bitBuffer & mask;
            m_bitBuffer >>= codeBits;
            m_bitCount -= static_cast<int>(codeBits);
            const std::int16_t sample = m_g72x[channel].decode(code);
            if (channel == 0)
                left[frame] = sample;
            else if (channel == 1)
                right[frame] = sample;
        }
    }
    // Bits of a last partial frame stay for the next step (only a short read leaves any).
    while (next < got && m_bitCount <= 24) {
        m_bitBuffer |= static_cast<std::uint32_t>(m_readBuffer[next++]) << m_bitCount;
        m_bitCount += 8;
    }
    return static_cast<int>(frames);
}

} // namespace velmora
