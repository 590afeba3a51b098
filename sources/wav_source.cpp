#include "sources/wav_source.h"

#include "platform/float_sample.h"
#include "platform/regular_file.h"
#include "sources/codecs/g711.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <span>

namespace velmora {
namespace {

using FourCc = std::array<std::uint8_t, 4>;

constexpr std::uint16_t kTagPcm = 0x0001;
constexpr std::uint16_t kTagMsAdpcm = 0x0002;
constexpr std::uint16_t kTagFloat = 0x0003;
constexpr std::uint16_t kTagAlaw = 0x0006;
constexpr std::uint16_t kTagMulaw = 0x0007;
constexpr std::uint16_t kTagImaAdpcm = 0x0011;
constexpr std::uint16_t kTagGsm = 0x0031;
constexpr std::uint16_t kTagExtensible = 0xFFFE;

// Bytes of the fmt record that every format has (wFormatTag .. wBitsPerSample).
constexpr std::uint32_t kBaseFormatBytes = 16;
// The extensible record: base, cbSize, wValidBitsPerSample, dwChannelMask, SubFormat GUID.
constexpr std::uint32_t kExtensibleFormatBytes = kBaseFormatBytes + 2 + 22;
constexpr std::uint16_t kExtensibleExtraBytes = 22;
// The sub-format GUID is the format tag as its first 4 bytes followed by this fixed tail
// (xxxxxxxx-0000-0010-8000-00aa00389b71, stored little-endian).
constexpr std::array<std::uint8_t, 12> kSubFormatGuidTail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                             0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

constexpr std::size_t kGsmBlockBytes = GsmDecoder::kWav49BlockBytes;          // 65
constexpr std::uint16_t kGsmSamplesPerBlock = GsmDecoder::kWav49BlockSamples; // 320

constexpr std::size_t kFramesPerStep = AudioSource::kMaxFramesPerRead;

bool isId(const FourCc& id, const char (&text)[5]) {
    return std::memcmp(id.data(), text, id.size()) == 0;
}

bool isAsciiLetter(std::uint8_t byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool isPcmWidth(std::uint16_t bits) {
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}
bool isFloatWidth(std::uint16_t bits) {
    return bits == 32 || bits == 64;
}

// a × b ÷ c in unsigned 64-bit arithmetic, truncated, without overflowing the intermediate
// product; saturates when the result itself does not fit. c must be non-zero.
std::uint64_t mulDiv(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    const std::uint64_t whole = a / c;
    const std::uint64_t rest = a % c;
    if (b != 0 && whole > UINT64_MAX / b)
        return UINT64_MAX;
    const std::uint64_t high = whole * b;
    // rest < c, so rest × b only overflows for a c and b beyond anything a WAVE header holds.
    const std::uint64_t low = (rest != 0 && b > UINT64_MAX / rest) ? UINT64_MAX : rest * b / c;
    return high > UINT64_MAX - low ? UINT64_MAX : high + low;
}

int clampToInt(std::uint64_t value) {
    return static_cast<int>(std::min<std::uint64_t>(value, INT_MAX));
}

// After a "fmt " chunk or a skipped chunk: passes over the RIFF pad byte and any other run of
// non-letter filler, leaving the reader at the next letter (the start of a chunk id).
bool resynchronise(ByteReader& in) {
    std::uint8_t byte = 0;
    while (in.peekU8(byte)) {
        if (isAsciiLetter(byte))
            return true;
        if (!in.readU8(byte))
            return false;
    }
    return false;
}

// Reads the WAVE_FORMAT_EXTENSIBLE extension after the base record and resolves the
// sub-format; only integer PCM and IEEE float are accepted.
bool parseExtensible(ByteReader& in, std::uint32_t chunkSize, WavHeader& header) {
    std::uint16_t extraBytes = 0;
    std::uint32_t subFormat = 0;
    std::array<std::uint8_t, kSubFormatGuidTail.size()> guidTail{};
    if (chunkSize < kExtensibleFormatBytes || !in.readU16LE(extraBytes) ||
        extraBytes < kExtensibleExtraBytes || !in.readU16LE(header.validBits) ||
        !in.readU32LE(header.channelMask) || !in.readU32LE(subFormat) || !in.readBytes(guidTail))
        return false;
    if (guidTail != kSubFormatGuidTail)
        return false;
    if (subFormat == kTagPcm) {
        header.encoding = WavEncoding::Pcm;
        return isPcmWidth(header.bitsPerSample);
    }
    if (subFormat == kTagFloat) {
        header.encoding = WavEncoding::Float;
        return isFloatWidth(header.bitsPerSample);
    }
    return false;
}

bool parseMsAdpcm(ByteReader& in, std::uint32_t chunkSize, WavHeader& header) {
    constexpr std::uint32_t kFixedBytes = kBaseFormatBytes + 2 + 4; // + cbSize, spb, wNumCoef
    std::uint16_t extraBytes = 0;
    std::uint16_t coefficientCount = 0;
    if (header.channels > 2 || chunkSize < kFixedBytes || !in.readU16LE(extraBytes) ||
        extraBytes < 4 || !in.readU16LE(header.samplesPerBlock) || !in.readU16LE(coefficientCount))
        return false;
    if (coefficientCount == 0 || coefficientCount > MsAdpcmDecoder::kMaxCoefficients)
        return false;
    // The whole table must lie inside the chunk (the chunk's end is checked by the caller).
    if (chunkSize < kFixedBytes + 4u * coefficientCount)
        return false;
    header.msCoefficients.resize(coefficientCount);
    for (auto& pair : header.msCoefficients)
        if (!in.readI16LE(pair.coef1) || !in.readI16LE(pair.coef2))
            return false;
    header.encoding = WavEncoding::MsAdpcm;
    return true;
}

bool parseImaAdpcm(ByteReader& in, std::uint32_t chunkSize, WavHeader& header) {
    std::uint16_t extraBytes = 0;
    // Only the 4-bit variant is decoded: the 3- and 5-bit ones would come out as noise.
    if (header.channels > 2 || header.bitsPerSample != 4 || chunkSize < kBaseFormatBytes + 4 ||
        !in.readU16LE(extraBytes) || extraBytes < 2 || !in.readU16LE(header.samplesPerBlock))
        return false;
    header.encoding = WavEncoding::ImaAdpcm;
    return true;
}

bool parseGsm(ByteReader& in, std::uint32_t chunkSize, WavHeader& header) {
    std::uint16_t extraBytes = 0;
    if (header.blockAlign != kGsmBlockBytes || chunkSize < kBaseFormatBytes + 4 ||
        !in.readU16LE(extraBytes) || extraBytes < 2 || !in.readU16LE(header.samplesPerBlock) ||
        header.samplesPerBlock != kGsmSamplesPerBlock)
        return false;
    header.encoding = WavEncoding::Gsm;
    return true;
}

// Reads a "fmt " chunk of `chunkSize` bytes whose body starts at the reader's offset and checks
// it against the format table. Replaces every format field of `header`.
bool parseFormat(ByteReader& in, std::uint32_t chunkSize, WavHeader& header) {
    header = WavHeader{};
    if (chunkSize < kBaseFormatBytes || !in.readU16LE(header.formatTag) ||
        !in.readU16LE(header.channels) || !in.readU32LE(header.sampleRate) ||
        !in.readU32LE(header.avgBytesPerSec) || !in.readU16LE(header.blockAlign) ||
        !in.readU16LE(header.bitsPerSample))
        return false;
    // channels and sampleRate are divisors from here on; the base fields hold them as int.
    if (header.channels == 0 || header.channels > WavSource::kMaxChannels ||
        header.sampleRate == 0 || header.sampleRate > INT_MAX)
        return false;
    switch (header.formatTag) {
    case kTagPcm:
        header.encoding = WavEncoding::Pcm;
        return isPcmWidth(header.bitsPerSample);
    case kTagFloat:
        header.encoding = WavEncoding::Float;
        return isFloatWidth(header.bitsPerSample);
    case kTagExtensible:
        return parseExtensible(in, chunkSize, header);
    case kTagAlaw:
        header.encoding = WavEncoding::Alaw;
        return true;
    case kTagMulaw:
        header.encoding = WavEncoding::Mulaw;
        return true;
    case kTagMsAdpcm:
        return parseMsAdpcm(in, chunkSize, header);
    case kTagImaAdpcm:
        return parseImaAdpcm(in, chunkSize, header);
    case kTagGsm:
        return parseGsm(in, chunkSize, header);
    default:
        return false;
    }
}

// The delivered sample of one stored sample of the plain formats.
std::int16_t topTwoBytes(std::span<const std::uint8_t> sample) {
    // 16-bit: the sample itself; 24-bit: the low byte dropped; 32-bit: the same as an
    // arithmetic shift right by 16.
    const std::size_t top = sample.size() - 2;
    return static_cast<std::int16_t>(sample[top] | (sample[top + 1] << 8));
}

std::int16_t float32Sample(std::span<const std::uint8_t> sample) {
    const std::uint32_t bits = static_cast<std::uint32_t>(sample[0]) |
                               (static_cast<std::uint32_t>(sample[1]) << 8) |
                               (static_cast<std::uint32_t>(sample[2]) << 16) |
                               (static_cast<std::uint32_t>(sample[3]) << 24);
    return floatToSample(static_cast<double>(std::bit_cast<float>(bits)));
}

std::int16_t float64Sample(std::span<const std::uint8_t> sample) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i)
        bits |= static_cast<std::uint64_t>(sample[i]) << (8 * i);
    return floatToSample(std::bit_cast<double>(bits));
}

// Converts the whole samples in `bytes` (interleaved, `channels` per frame) and delivers them
// planar. With two or more channels, channel 0 goes to `left` and channel 1 to `right`, the rest
// are dropped; a frame counts as soon as its first sample is there, a missing channel-1 sample
// of a last partial frame being delivered as `silence`. Returns the frames delivered.
template <typename Sample, typename Convert>
int deliverFrames(std::span<const std::uint8_t> bytes, std::size_t sampleBytes,
                  std::size_t channels, Sample* left, Sample* right, Sample silence,
                  Convert convert) {
    const std::size_t samples = bytes.size() / sampleBytes;
    const auto sampleAt = [&](std::size_t index) {
        return static_cast<Sample>(convert(bytes.subspan(index * sampleBytes, sampleBytes)));
    };
    if (channels == 1) {
        for (std::size_t i = 0; i < samples; ++i)
            left[i] = sampleAt(i);
        return static_cast<int>(samples);
    }
    const std::size_t frames = (samples + channels - 1) / channels;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const std::size_t first = frame * channels;
        left[frame] = sampleAt(first);
        right[frame] = first + 1 < samples ? sampleAt(first + 1) : silence;
    }
    return static_cast<int>(frames);
}

} // namespace

WavSource::~WavSource() = default;

std::optional<WavHeader> WavSource::parseHeader(ByteReader& in) {
    FourCc id{};
    std::uint32_t size = 0;
    if (!in.seek(0) || !in.readBytes(id) || !isId(id, "RIFF") || !in.readU32LE(size))
        return std::nullopt;
    if (!in.readBytes(id) || !isId(id, "WAVE"))
        return std::nullopt;

    WavHeader header;
    bool haveFormat = false;
    // Every pass consumes at least a chunk header, so the walk ends at the end of the file.
    for (;;) {
        if (!in.readBytes(id) || !in.readU32LE(size))
            return std::nullopt;
        const std::uint64_t bodyStart = in.tell();
        if (isId(id, "fmt ")) {
            if (!parseFormat(in, size, header) || !in.seek(bodyStart + size))
                return std::nullopt;
            haveFormat = true;
        } else if (isId(id, "data")) {
            if (!haveFormat)
                return std::nullopt;
            header.dataOffset = bodyStart;
            // Size 0 (a writer that never came back to fill it in): the data runs to the end.
            // A size beyond the end (a streamed file, or a cut one) is cut to what is there, so
            // that duration and progress describe the audio that can really be read.
            header.dataLength =
                size != 0 ? std::min<std::uint64_t>(size, in.remaining()) : in.remaining();
            return header;
        } else if (!in.skip(size)) {
            return std::nullopt;
        }
        if (!resynchronise(in))
            return std::nullopt;
    }
}

void WavSource::close() {
    m_stream = {};
    AudioSource::close();
}

bool WavSource::open(const std::string& path, int /*renderRate*/) {
    close();
    std::FILE* file = openRegularFileStream(path);
    if (!file)
        return false;
    m_stream.file.reset(file);
    m_stream.reader = ByteReader::fromFile(file);
    std::optional<WavHeader> header;
    if (m_stream.reader)
        header = parseHeader(*m_stream.reader);
    if (!header) {
        close();
        return false;
    }
    m_stream.header = std::move(*header);
    if (!setUpDecoder()) {
        close();
        return false;
    }
    describeStream();
    return true;
}

bool WavSource::setUpDecoder() {
    const WavHeader& h = m_stream.header;
    const std::size_t channels = h.channels; // 1..kMaxChannels, checked by the parse
    switch (h.encoding) {
    case WavEncoding::Pcm:
        switch (h.bitsPerSample) {
        case 8:
            m_stream.blockReader = BlockReader::Pcm8;
            break;
        case 16:
            m_stream.blockReader = BlockReader::Pcm16;
            break;
        case 24:
            m_stream.blockReader = BlockReader::Pcm24;
            break;
        case 32:
            m_stream.blockReader = BlockReader::Pcm32;
            break;
        default:
            return false;
        }
        m_stream.sourceSampleBytes = h.bitsPerSample / 8u;
        break;
    case WavEncoding::Float:
        if (h.bitsPerSample != 32 && h.bitsPerSample != 64)
            return false;
        m_stream.blockReader = h.bitsPerSample == 32 ? BlockReader::Float32 : BlockReader::Float64;
        m_stream.sourceSampleBytes = h.bitsPerSample / 8u;
        break;
    case WavEncoding::Alaw:
    case WavEncoding::Mulaw:
        m_stream.blockReader = BlockReader::G711;
        m_stream.expand =
            h.encoding == WavEncoding::Alaw ? g711::alawToLinear : g711::mulawToLinear;
        m_stream.sourceSampleBytes = 1;
        break;
    case WavEncoding::MsAdpcm:
        m_stream.msAdpcm =
            MsAdpcmDecoder::create(h.channels, h.blockAlign, h.samplesPerBlock, h.msCoefficients);
        if (!m_stream.msAdpcm)
            return false;
        m_stream.blockReader = BlockReader::MsAdpcm;
        m_stream.readBuffer.resize(m_stream.msAdpcm->blockBytes());
        m_stream.blockBuffer.resize(m_stream.msAdpcm->blockSamples());
        m_stream.blockStereo = h.channels == 2;
        return true;
    case WavEncoding::ImaAdpcm:
        m_stream.imaAdpcm = ImaAdpcmDecoder::create(h.channels, h.blockAlign, h.samplesPerBlock);
        if (!m_stream.imaAdpcm)
            return false;
        m_stream.blockReader = BlockReader::ImaAdpcm;
        m_stream.readBuffer.resize(m_stream.imaAdpcm->blockBytes());
        m_stream.blockBuffer.resize(m_stream.imaAdpcm->blockSamples());
        m_stream.blockStereo = h.channels == 2;
        return true;
    case WavEncoding::Gsm:
        m_stream.gsm = std::make_unique<GsmDecoder>(/*wav49=*/true);
        if (!m_stream.gsm->isOpen())
            return false;
        m_stream.blockReader = BlockReader::Gsm;
        m_stream.readBuffer.resize(kGsmBlockBytes);
        m_stream.blockBuffer.resize(kGsmSamplesPerBlock);
        // GSM is mono by nature; any other count is taken as interleaved pairs.
        m_stream.blockStereo = h.channels != 1;
        return true;
    }
    // The plain formats: one step is 1152 frames of stored samples.
    m_stream.readBuffer.resize(m_stream.sourceSampleBytes * channels * kFramesPerStep);
    return true;
}

void WavSource::describeStream() {
    const WavHeader& h = m_stream.header;
    m_length = h.dataLength;
    m_position = 0;
    m_channels = h.channels;
    m_outChannels = h.channels == 1 ? 1 : 2;
    m_sampleRate = static_cast<int>(h.sampleRate); // at most INT_MAX, checked by the parse
    m_bitsPerSample = (h.encoding == WavEncoding::Pcm && h.bitsPerSample == 8) ? 8 : 16;
    m_bytesPerSample = m_bitsPerSample / 8;

    std::uint64_t totalFrames = 0;
    switch (h.encoding) {
    case WavEncoding::MsAdpcm:
    case WavEncoding::ImaAdpcm:
        // blockAlign is non-zero: the decoder was created from it.
        totalFrames = mulDiv(m_length, h.samplesPerBlock, h.blockAlign);
        break;
    case WavEncoding::Gsm:
        totalFrames = mulDiv(m_length, kGsmSamplesPerBlock, kGsmBlockBytes);
        break;
    default:
        totalFrames = h.bitsPerSample == 0 ? 0 : mulDiv(m_length, 8, h.bitsPerSample) / h.channels;
        break;
    }
    const std::uint64_t seconds = totalFrames / h.sampleRate;
    m_durationSeconds = clampToInt(seconds);
    const std::uint64_t bitrate =
        seconds != 0 ? m_length / (seconds * 125)
                     : std::uint64_t{h.bitsPerSample} * h.channels * h.sampleRate / 1000;
    m_bitrateKbps = clampToInt(bitrate);
}

int WavSource::read(std::int16_t* left, std::int16_t* right) {
    if (!m_stream.reader)
        return 0;
    switch (m_stream.blockReader) {
    case BlockReader::None:
        return 0;
    case BlockReader::MsAdpcm:
    case BlockReader::ImaAdpcm:
    case BlockReader::Gsm:
        return readBlocks(left, right);
    default:
        return readPlain(left, right);
    }
}

int WavSource::readPlain(std::int16_t* left, std::int16_t* right) {
    // m_position never passes m_length: it only grows by requests capped at what is left.
    const std::uint64_t bytesLeft = m_length - m_position;
    const auto request =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_stream.readBuffer.size(), bytesLeft));
    if (request == 0)
        return 0;
    m_position += request;
    // A data chunk that claims more than the file holds ends here with a short read or none.
    const std::size_t got =
        m_stream.reader->readUpTo(std::span(m_stream.readBuffer).first(request));
    const auto bytes = std::span<const std::uint8_t>(m_stream.readBuffer).first(got);
    const std::size_t sampleBytes = m_stream.sourceSampleBytes;
    const std::size_t channels = m_stream.header.channels;
    if (got < sampleBytes)
        return 0;
    switch (m_stream.blockReader) {
    case BlockReader::Pcm8:
        return deliverFrames(bytes, 1, channels, asBytes(left), asBytes(right), std::uint8_t{128},
                             [](std::span<const std::uint8_t> s) { return s[0]; });
    case BlockReader::Pcm16:
    case BlockReader::Pcm24:
    case BlockReader::Pcm32:
        return deliverFrames(bytes, sampleBytes, channels, left, right, std::int16_t{0},
                             topTwoBytes);
    case BlockReader::Float32:
        return deliverFrames(bytes, sampleBytes, channels, left, right, std::int16_t{0},
                             float32Sample);
    case BlockReader::Float64:
        return deliverFrames(bytes, sampleBytes, channels, left, right, std::int16_t{0},
                             float64Sample);
    case BlockReader::G711:
        return deliverFrames(
            bytes, 1, channels, left, right, std::int16_t{0},
            [expand = m_stream.expand](std::span<const std::uint8_t> s) { return expand(s[0]); });
    default:
        return 0;
    }
}

bool WavSource::decodeNextBlock() {
    if (m_stream.streamEnded)
        return false;
    const std::size_t blockBytes = m_stream.readBuffer.size();
    const std::uint64_t bytesLeft = m_length - m_position;
    const auto request = static_cast<std::size_t>(std::min<std::uint64_t>(blockBytes, bytesLeft));
    m_position += request;
    // A partial last block (short chunk or short file) is discarded.
    if (request < blockBytes || m_stream.reader->readUpTo(m_stream.readBuffer) != blockBytes) {
        m_stream.streamEnded = true;
        return false;
    }
    bool decoded = false;
    switch (m_stream.blockReader) {
    case BlockReader::MsAdpcm:
        decoded = m_stream.msAdpcm->decodeBlock(m_stream.readBuffer, m_stream.blockBuffer);
        break;
    case BlockReader::ImaAdpcm:
        decoded = m_stream.imaAdpcm->decodeBlock(m_stream.readBuffer, m_stream.blockBuffer);
        break;
    case BlockReader::Gsm:
        decoded = m_stream.gsm->decodeBlock(m_stream.readBuffer, m_stream.blockBuffer);
        break;
    default:
        break;
    }
    if (!decoded) {
        // A predictor index beyond the coefficient table, or a frame libgsm rejects.
        m_stream.streamEnded = true;
        return false;
    }
    m_stream.blockSamples = m_stream.blockBuffer.size();
    m_stream.blockIndex = 0;
    return true;
}

int WavSource::readBlocks(std::int16_t* left, std::int16_t* right) {
    std::size_t frames = 0;
    while (frames < kFramesPerStep) {
        if (m_stream.blockIndex >= m_stream.blockSamples && !decodeNextBlock())
            break;
        if (m_stream.blockStereo) {
            // Stereo blocks hold an even number of samples (pairs of channel 0 and 1).
            while (frames < kFramesPerStep && m_stream.blockIndex + 1 < m_stream.blockSamples) {
                left[frames] = m_stream.blockBuffer[m_stream.blockIndex];
                right[frames] = m_stream.blockBuffer[m_stream.blockIndex + 1];
                m_stream.blockIndex += 2;
                ++frames;
            }
            if (m_stream.blockIndex + 1 == m_stream.blockSamples)
                m_stream.blockIndex = m_stream.blockSamples;
        } else {
            while (frames < kFramesPerStep && m_stream.blockIndex < m_stream.blockSamples) {
                left[frames] = m_stream.blockBuffer[m_stream.blockIndex];
                ++m_stream.blockIndex;
                ++frames;
            }
        }
    }
    return static_cast<int>(frames);
}

} // namespace velmora
