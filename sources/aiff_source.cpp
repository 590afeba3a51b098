#include "sources/aiff_source.h"

#include "platform/ascii_case.h"
#include "platform/float_sample.h"
#include "platform/regular_file.h"
#include "sources/codecs/g711.h"
#include "sources/codecs/ima_adpcm_decoder.h"
#include "sources/source_tags.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <span>

namespace velmora {
namespace {

using FourCc = std::array<std::uint8_t, 4>;

constexpr std::size_t kFramesPerStep = AudioSource::kMaxFramesPerRead;
constexpr std::uint32_t kAiffCommBytes = 18;    // numChannels .. sampleRate
constexpr std::uint32_t kAifcMinCommBytes = 22; // + compressionType
constexpr std::uint32_t kSsndFixedBytes = 8;    // offset, blockSize
constexpr std::size_t kDwvwReadBytes = 256;     // bytes fed to the DWVW decoder per read
constexpr std::uint32_t kUnknownFrames = 0xFFFFFFFF;

bool isId(const FourCc& id, const char (&text)[5]) {
    return std::memcmp(id.data(), text, id.size()) == 0;
}

// The IEEE 754 80-bit extended sample rate, truncated to whole Hz. None for a value that no
// stream can have: infinite, not a number, negative or beyond INT_MAX.
std::optional<std::uint32_t> extendedToHz(const std::array<std::uint8_t, 10>& bytes) {
    const bool negative = (bytes[0] & 0x80) != 0;
    const int exponent = ((bytes[0] & 0x7F) << 8) | bytes[1];
    std::uint64_t mantissa = 0;
    for (std::size_t i = 2; i < bytes.size(); ++i)
        mantissa = (mantissa << 8) | bytes[i];
    if (exponent == 0x7FFF)
        return std::nullopt;
    if (mantissa == 0)
        return 0;
    if (negative)
        return std::nullopt;
    // value = mantissa × 2^(exponent − 16383 − 63); the integer bit is bit 63 of the mantissa.
    const int power = exponent - 16383;
    if (power < 0)
        return 0;
    if (power > 63)
        return std::nullopt;
    const std::uint64_t value = mantissa >> (63 - power);
    if (value > static_cast<std::uint64_t>(INT_MAX))
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// Applies an AIFF-C compression type (upper-cased) to the header. False for a type this reader
// does not decode, or one whose COMM values it cannot decode.
bool applyCompression(const FourCc& rawType, AiffHeader& h) {
    FourCc type = rawType;
    for (auto& c : type)
        c = static_cast<std::uint8_t>(toUpperAscii(static_cast<char>(c)));
    h.sampleSize = h.commSampleSize;
    h.littleEndian = false;
    if (isId(type, "NONE") || isId(type, "TWOS") || isId(type, "IN24") || isId(type, "IN32")) {
        h.compression = AiffCompression::Pcm;
    } else if (isId(type, "SOWT") || isId(type, "23NI")) {
        h.compression = AiffCompression::Pcm;
        h.littleEndian = true;
    } else if (isId(type, "ULAW")) {
        h.compression = AiffCompression::Mulaw;
        h.sampleSize = 8;
    } else if (isId(type, "ALAW")) {
        h.compression = AiffCompression::Alaw;
        h.sampleSize = 8;
    } else if (isId(type, "FL32")) {
        h.compression = AiffCompression::Float32;
        h.sampleSize = 32;
    } else if (isId(type, "FL64")) {
        h.compression = AiffCompression::Float64;
        h.sampleSize = 64;
    } else if (isId(type, "IMA4")) {
        // Packets of the two channels alternate; other layouts are left to the next decoder.
        if (h.channels != 2)
            return false;
        h.compression = AiffCompression::Ima4;
        h.sampleSize = 4;
    } else if (isId(type, "RAW ")) {
        h.compression = AiffCompression::Raw;
        h.sampleSize = 8;
    } else if (isId(type, "GSM ")) {
        h.compression = AiffCompression::Gsm;
    } else if (isId(type, "DWVW")) {
        h.compression = AiffCompression::Dwvw;
        return h.sampleSize >= DwvwDecoder::kMinBits && h.sampleSize <= DwvwDecoder::kMaxBits;
    } else {
        return false;
    }
    // Integer PCM is read in whole bytes of up to 4 per sample.
    return h.compression != AiffCompression::Pcm || (h.sampleSize >= 1 && h.sampleSize <= 32);
}

// Reads a COMM chunk of `size` bytes whose body starts at the reader's offset.
bool parseComm(ByteReader& in, std::uint32_t size, AiffHeader& h) {
    if (h.aifc ? size < kAifcMinCommBytes : size != kAiffCommBytes)
        return false;
    if (size > AiffSource::kMaxCommBytes || size > in.remaining())
        return false;
    std::array<std::uint8_t, 10> rate{};
    if (!in.readU16BE(h.channels) || !in.readU32BE(h.numSampleFrames) ||
        !in.readU16BE(h.commSampleSize) || !in.readBytes(rate))
        return false;
    if (h.channels != 1 && h.channels != 2 && h.channels != 3 && h.channels != 4 && h.channels != 6)
        return false;
    const std::optional<std::uint32_t> hz = extendedToHz(rate);
    // A rate of 0 would be a divisor downstream; such a file is left to the next decoder.
    if (!hz || *hz == 0)
        return false;
    h.sampleRate = *hz;
    if (!h.aifc) {
        h.compression = AiffCompression::Pcm;
        h.sampleSize = h.commSampleSize;
        h.littleEndian = false;
        return h.sampleSize >= 1 && h.sampleSize <= 32;
    }
    FourCc type{};
    return in.readBytes(type) && applyCompression(type, h);
}

std::uint64_t bigEndianBits(std::span<const std::uint8_t> bytes) {
    std::uint64_t bits = 0;
    for (const std::uint8_t b : bytes)
        bits = (bits << 8) | b;
    return bits;
}

// The 16-bit sample of one stored integer PCM sample of 2 to 4 bytes: its two most significant
// bytes.
std::int16_t topTwoBytes(std::span<const std::uint8_t> sample, bool littleEndian) {
    const std::size_t last = sample.size() - 1;
    return littleEndian ? static_cast<std::int16_t>((sample[last] << 8) | sample[last - 1])
                        : static_cast<std::int16_t>((sample[0] << 8) | sample[1]);
}

// Delivers the whole frames of `bytes` planar: channel 0 to `left`, channel `rightChannel` to
// `right` (when there is more than one channel). Returns the frames delivered.
template <typename Sample, typename Convert>
int deliverFrames(std::span<const std::uint8_t> bytes, std::size_t sampleBytes,
                  std::size_t channels, std::size_t rightChannel, Sample* left, Sample* right,
                  Convert convert) {
    const std::size_t frameBytes = sampleBytes * channels;
    const std::size_t frames = bytes.size() / frameBytes;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const auto frameSpan = bytes.subspan(frame * frameBytes, frameBytes);
        left[frame] = static_cast<Sample>(convert(frameSpan.first(sampleBytes)));
        if (channels > 1)
            right[frame] = static_cast<Sample>(
                convert(frameSpan.subspan(rightChannel * sampleBytes, sampleBytes)));
    }
    return static_cast<int>(frames);
}

} // namespace

AiffSource::~AiffSource() = default;

std::optional<AiffHeader> AiffSource::parseHeader(ByteReader& in) {
    FourCc id{};
    std::uint32_t size = 0;
    FourCc formType{};
    if (!in.seek(0) || !in.readBytes(id) || !isId(id, "FORM") || !in.readU32BE(size) ||
        !in.readBytes(formType))
        return std::nullopt;
    AiffHeader header;
    header.aifc = isId(formType, "AIFC");
    if (!header.aifc && !isId(formType, "AIFF"))
        return std::nullopt;

    bool haveComm = false;
    bool haveSsnd = false;
    // Every pass consumes at least a chunk header and only moves forward, so the walk ends at
    // the end of the file.
    while (in.readBytes(id) && in.readU32BE(size)) {
        const std::uint64_t bodyStart = in.tell();
        if (isId(id, "COMM")) {
            if (!parseComm(in, size, header))
                return std::nullopt;
            haveComm = true;
        } else if (isId(id, "SSND")) {
            std::uint32_t offset = 0;
            std::uint32_t blockSize = 0;
            if (size < kSsndFixedBytes || !in.readU32BE(offset) || !in.readU32BE(blockSize) ||
                offset > size - kSsndFixedBytes)
                break;
            header.dataStart = bodyStart + kSsndFixedBytes + offset;
            // A chunk that claims more than the file holds (a cut or still-growing file) has as
            // much sound as the file holds.
            const std::uint64_t inFile =
                header.dataStart < in.size() ? in.size() - header.dataStart : 0;
            header.dataBytes = std::min<std::uint64_t>(size - kSsndFixedBytes - offset, inFile);
            haveSsnd = true;
        } else if (isId(id, "ID3 ")) {
            if (size <= kMaxId3Bytes && size <= in.remaining()) {
                header.id3.resize(size);
                if (!in.readBytes(header.id3))
                    header.id3.clear();
            }
        }
        // The size is rounded up to even: an odd-sized chunk is followed by a pad byte.
        const std::uint64_t padded = std::uint64_t{size} + (size & 1u);
        if (!in.seek(bodyStart + padded))
            break;
    }
    if (!haveComm || !haveSsnd)
        return std::nullopt;
    return header;
}

void AiffSource::close() {
    m_stream = {};
    AudioSource::close();
}

bool AiffSource::open(const std::string& path, int /*renderRate*/) {
    close();
    std::FILE* file = openRegularFileStream(path);
    if (!file)
        return false;
    m_stream.file.reset(file);
    m_stream.reader = ByteReader::fromFile(file);
    std::optional<AiffHeader> header;
    if (m_stream.reader)
        header = parseHeader(*m_stream.reader);
    if (!header) {
        close();
        return false;
    }
    m_stream.header = std::move(*header);
    if (!setUpReader()) {
        close();
        return false;
    }
    if (!m_stream.header.id3.empty()) {
        // False only means no frame was found; whatever was found stays in m_stream.tags.
        SourceTags::readId3Tags(m_stream.header.id3, m_stream.tags);
        m_stream.header.id3 = std::vector<std::uint8_t>();
    }
    describeStream();
    return true;
}

bool AiffSource::setUpReader() {
    const AiffHeader& h = m_stream.header;
    const std::size_t channels = h.channels; // 1, 2, 3, 4 or 6, checked by the parse
    m_stream.rightChannel = channels == 6 ? 3 : 1;
    switch (h.compression) {
    case AiffCompression::Pcm:
        m_stream.sampleBytes = (h.sampleSize + 7u) / 8u; // 1..4, checked by the parse
        break;
    case AiffCompression::Mulaw:
    case AiffCompression::Alaw:
        m_stream.expand =
            h.compression == AiffCompression::Alaw ? g711::alawToLinear : g711::mulawToLinear;
        m_stream.sampleBytes = 1;
        break;
    case AiffCompression::Raw:
        m_stream.sampleBytes = 1;
        break;
    case AiffCompression::Float32:
        m_stream.sampleBytes = 4;
        break;
    case AiffCompression::Float64:
        m_stream.sampleBytes = 8;
        break;
    case AiffCompression::Ima4:
        m_stream.readBuffer.resize(kIma4PacketBytes * channels);
        break;
    case AiffCompression::Gsm:
        m_stream.gsm = std::make_unique<GsmDecoder>(/*wav49=*/false);
        if (!m_stream.gsm->isOpen())
            return false;
        m_stream.readBuffer.resize(GsmDecoder::kFrameBytes);
        m_stream.gsmFrame.resize(GsmDecoder::kFrameSamples);
        break;
    case AiffCompression::Dwvw:
        m_stream.dwvw = std::make_unique<DwvwDecoder>(h.sampleSize);
        m_stream.readBuffer.resize(kDwvwReadBytes);
        m_stream.dwvwSamples.resize(channels * kFramesPerStep);
        // The encoder pads the last byte with bits that decode as extra samples; a known frame
        // count ends the stream where the material ends.
        m_stream.samplesLeft = (h.numSampleFrames == 0 || h.numSampleFrames == kUnknownFrames)
                                   ? UINT64_MAX
                                   : std::uint64_t{h.numSampleFrames} * channels;
        break;
    }
    if (m_stream.sampleBytes != 0)
        m_stream.readBuffer.resize(m_stream.sampleBytes * channels * kFramesPerStep);
    m_stream.dataLeft = h.dataBytes;
    return m_stream.reader->seek(h.dataStart);
}

void AiffSource::describeStream() {
    const AiffHeader& h = m_stream.header;
    m_length = m_stream.reader->size();
    m_position = h.dataStart;
    m_channels = h.channels;
    m_outChannels = h.channels == 1 ? 1 : 2;
    m_sampleRate = static_cast<int>(h.sampleRate); // 1..INT_MAX, checked by the parse
    const bool eightBit = (h.compression == AiffCompression::Pcm && h.sampleSize <= 8) ||
                          h.compression == AiffCompression::Raw;
    m_bitsPerSample = eightBit ? 8 : 16;
    m_bytesPerSample = m_bitsPerSample / 8;

    std::uint64_t frames = h.numSampleFrames;
    if (frames == 0 || frames == kUnknownFrames)
        frames = 1;
    if (h.compression == AiffCompression::Ima4)
        frames = h.dataBytes / (kIma4PacketBytes * h.channels) * kIma4PacketSamples;
    else if (h.compression == AiffCompression::Gsm)
        frames = h.dataBytes / GsmDecoder::kFrameBytes * GsmDecoder::kFrameSamples;
    const std::uint64_t seconds = frames / h.sampleRate;
    m_durationSeconds = static_cast<int>(std::min<std::uint64_t>(seconds, INT_MAX));
    const std::uint64_t bitrate =
        seconds != 0 ? m_length / (seconds * 125)
                     : std::uint64_t{h.sampleSize} * h.channels * h.sampleRate / 1000;
    m_bitrateKbps = static_cast<int>(std::min<std::uint64_t>(bitrate, INT_MAX));
}

bool AiffSource::readTags(TagSet& tags) {
    if (m_stream.tags == TagSet{})
        return false;
    tags = m_stream.tags;
    return true;
}

int AiffSource::read(std::int16_t* left, std::int16_t* right) {
    if (!m_stream.reader || m_stream.streamEnded)
        return 0;
    switch (m_stream.header.compression) {
    case AiffCompression::Ima4:
        return readIma4(left, right);
    case AiffCompression::Gsm:
        return readGsm(left, right);
    case AiffCompression::Dwvw:
        return readDwvw(left, right);
    default:
        return readPlain(left, right);
    }
}

std::size_t AiffSource::readData(std::size_t request) {
    request = static_cast<std::size_t>(
        std::min<std::uint64_t>({request, m_stream.dataLeft, m_stream.readBuffer.size()}));
    m_stream.dataLeft -= request;
    const std::size_t got =
        m_stream.reader->readUpTo(std::span(m_stream.readBuffer).first(request));
    m_position += got;
    return got;
}

int AiffSource::readPlain(std::int16_t* left, std::int16_t* right) {
    const std::size_t got = readData(m_stream.readBuffer.size());
    const auto bytes = std::span<const std::uint8_t>(m_stream.readBuffer).first(got);
    const std::size_t channels = m_stream.header.channels;
    const std::size_t sampleBytes = m_stream.sampleBytes;
    const bool littleEndian = m_stream.header.littleEndian;
    switch (m_stream.header.compression) {
    case AiffCompression::Pcm:
        if (sampleBytes == 1)
            // Signed 8-bit becomes unsigned 8-bit (128 = silence).
            return deliverFrames(bytes, 1, channels, m_stream.rightChannel, asBytes(left),
                                 asBytes(right), [](std::span<const std::uint8_t> s) {
                                     return static_cast<std::uint8_t>(s[0] ^ 0x80u);
                                 });
        return deliverFrames(bytes, sampleBytes, channels, m_stream.rightChannel, left, right,
                             [littleEndian](std::span<const std::uint8_t> s) {
                                 return topTwoBytes(s, littleEndian);
                             });
    case AiffCompression::Raw:
        return deliverFrames(bytes, 1, channels, m_stream.rightChannel, asBytes(left),
                             asBytes(right), [](std::span<const std::uint8_t> s) { return s[0]; });
    case AiffCompression::Mulaw:
    case AiffCompression::Alaw:
        return deliverFrames(
            bytes, 1, channels, m_stream.rightChannel, left, right,
            [expand = m_stream.expand](std::span<const std::uint8_t> s) { return expand(s[0]); });
    case AiffCompression::Float32:
        return deliverFrames(bytes, 4, channels, m_stream.rightChannel, left, right,
                             [](std::span<const std::uint8_t> s) {
                                 const auto bits = static_cast<std::uint32_t>(bigEndianBits(s));
                                 return floatToSample(std::bit_cast<float>(bits));
                             });
    case AiffCompression::Float64:
        return deliverFrames(bytes, 8, channels, m_stream.rightChannel, left, right,
                             [](std::span<const std::uint8_t> s) {
                                 return floatToSample(std::bit_cast<double>(bigEndianBits(s)));
                             });
    default:
        return 0;
    }
}

int AiffSource::readIma4(std::int16_t* left, std::int16_t* right) {
    const std::size_t blockBytes = m_stream.readBuffer.size(); // one packet per channel
    if (m_stream.dataLeft < blockBytes || readData(blockBytes) != blockBytes)
        return 0;
    std::array<std::int16_t*, 2> outputs = {left, right};
    for (std::size_t channel = 0; channel < outputs.size(); ++channel) {
        ByteReader packet(std::span<const std::uint8_t>(m_stream.readBuffer)
                              .subspan(channel * kIma4PacketBytes, kIma4PacketBytes));
        std::uint16_t preamble = 0;
        if (!packet.readU16BE(preamble))
            return 0;
        // The top 9 bits are the predictor (a 16-bit value with its low 7 bits cleared), the low
        // 7 bits the step index.
        ImaAdpcmDecoder::Channel state;
        state.predictor = static_cast<std::int16_t>(preamble & 0xFF80u);
        state.stepIndex = std::min<int>(preamble & 0x7F, ImaAdpcmDecoder::kMaxStepIndex);
        std::int16_t* out = outputs[channel];
        for (std::size_t i = 0; i < kIma4PacketSamples; i += 2) {
            std::uint8_t byte = 0;
            if (!packet.readU8(byte))
                return 0;
            out[i] = state.expandNibble(byte);
            out[i + 1] = state.expandNibble(byte >> 4u);
        }
    }
    return static_cast<int>(kIma4PacketSamples);
}

int AiffSource::readGsm(std::int16_t* left, std::int16_t* right) {
    const std::size_t frameBytes = GsmDecoder::kFrameBytes;
    if (m_stream.dataLeft < frameBytes || readData(frameBytes) != frameBytes)
        return 0;
    if (!m_stream.gsm->decodeFrame(m_stream.readBuffer, m_stream.gsmFrame)) {
        m_stream.streamEnded = true;
        return 0;
    }
    if (m_stream.header.channels == 1) {
        std::copy(m_stream.gsmFrame.begin(), m_stream.gsmFrame.end(), left);
        return static_cast<int>(m_stream.gsmFrame.size());
    }
    // GSM is mono by nature; more channels are taken as interleaved pairs.
    const std::size_t frames = m_stream.gsmFrame.size() / 2;
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] = m_stream.gsmFrame[2 * i];
        right[i] = m_stream.gsmFrame[2 * i + 1];
    }
    return static_cast<int>(frames);
}

int AiffSource::readDwvw(std::int16_t* left, std::int16_t* right) {
    const std::size_t channels = m_stream.header.channels;
    const auto wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(m_stream.dwvwSamples.size(), m_stream.samplesLeft));
    std::size_t count = 0;
    for (;;) {
        count +=
            m_stream.dwvw->decode(std::span(m_stream.dwvwSamples).subspan(count, wanted - count));
        if (count == wanted || m_stream.dataLeft == 0)
            break;
        const std::size_t got = readData(kDwvwReadBytes);
        if (got == 0)
            break;
        m_stream.dwvw->feed(std::span<const std::uint8_t>(m_stream.readBuffer).first(got));
    }
    const std::size_t frames = count / channels;
    if (m_stream.samplesLeft != UINT64_MAX)
        m_stream.samplesLeft -= frames * channels;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        left[frame] = static_cast<std::int16_t>(m_stream.dwvwSamples[frame * channels] >> 16);
        if (channels > 1)
            right[frame] = static_cast<std::int16_t>(
                m_stream.dwvwSamples[frame * channels + m_stream.rightChannel] >> 16);
    }
    return static_cast<int>(frames);
}

} // namespace velmora
