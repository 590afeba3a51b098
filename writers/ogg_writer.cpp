#include "writers/ogg_writer.h"

#include "platform/text_encoding.h"

#include <chrono>
#include <random>
#include <unistd.h>
#include <vorbis/vorbisenc.h>

namespace velmora {
namespace {

// Full scale of a 16-bit sample for the encoder's float input.
constexpr float kSampleScale = 32768.0f;

int randomSerialNumber() {
    // Chained streams need distinct serial numbers; time and process keep them apart without
    // a source of entropy that could fail.
    std::seed_seq seed{
        static_cast<unsigned int>(std::chrono::steady_clock::now().time_since_epoch().count()),
        static_cast<unsigned int>(std::chrono::system_clock::now().time_since_epoch().count()),
        static_cast<unsigned int>(getpid())};
    std::mt19937 generator(seed);
    return static_cast<int>(generator());
}

// Header, then body; false when either did not reach the stream in full.
bool writePageTo(std::FILE* file, const ogg_page& page) {
    const auto header = static_cast<std::size_t>(page.header_len);
    const auto body = static_cast<std::size_t>(page.body_len);
    return std::fwrite(page.header, 1, header, file) == header &&
           std::fwrite(page.body, 1, body, file) == body;
}

} // namespace

// The library states, with what has been initialised so that exactly that is cleared.
struct OggWriter::Codec {
    ogg_stream_state stream{};
    ogg_page page{};
    ogg_packet packet{};
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    bool configured = false;
    bool started = false; // dsp, block and stream initialised
    bool ended = false;   // the end-of-stream page was written

    Codec() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~Codec() {
        if (started) {
            ogg_stream_clear(&stream);
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    Codec(const Codec&) = delete;
    Codec& operator=(const Codec&) = delete;
};

OggWriter::OggWriter() = default;

OggWriter::~OggWriter() {
    close();
}

bool OggWriter::isStarted() const {
    return m_codec && m_codec->started;
}

bool OggWriter::isEnded() const {
    return m_codec && m_codec->ended;
}

long long OggWriter::trackNumberOf(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    long long number = 0;
    // Saturates: only the sign and "above 0" matter to the callers.
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        number = number > 100000000000LL ? number : number * 10 + (text[at] - '0');
    return negative ? -number : number;
}

bool OggWriter::open(const std::string& path) {
    close();
    // "e": the descriptor is not inherited by programs the process starts.
    m_file = std::fopen(path.c_str(), "wbe");
    if (!m_file)
        return false;
    m_codec = std::make_unique<Codec>();
    m_writeFailed = false;
    return true;
}

bool OggWriter::init(int sampleRate, int channels, int nominalBitrate) {
    if (!m_codec || m_codec->configured)
        return false;
    m_sampleRate = sampleRate;
    m_channels = channels;
    // Blocks carry at most two planar channels.
    if ((channels != 1 && channels != 2) || sampleRate <= 0 || nominalBitrate <= 0)
        return false;
    vorbis_info& info = m_codec->info;
    if (vorbis_encode_setup_managed(&info, channels, sampleRate, -1, nominalBitrate, -1) != 0)
        return false;
    // No argument switches bit-rate management off: the nominal rate is a target, not a bound.
    if (vorbis_encode_ctl(&info, OV_ECTL_RATEMANAGE2_SET, nullptr) != 0)
        return false;
    if (vorbis_encode_setup_init(&info) != 0)
        return false;
    m_codec->configured = true;
    return true;
}

void OggWriter::setTags(const Tags& tags) {
    if (!m_codec || !m_codec->configured || m_codec->started)
        return;
    const std::pair<const char*, const std::string*> values[] = {
        {"TITLE", &tags.title},       {"ARTIST", &tags.artist},       {"ALBUM", &tags.album},
        {"DATE", &tags.year},         {"GENRE", &tags.genre},         {"COMMENT", &tags.comment},
        {"COMPOSER", &tags.composer}, {"COPYRIGHT", &tags.copyright},
    };
    for (const auto& [key, value] : values) {
        if (!value->empty())
            vorbis_comment_add_tag(&m_codec->comment, key, repairUtf8(*value).c_str());
    }
    if (trackNumberOf(tags.track) > 0)
        vorbis_comment_add_tag(&m_codec->comment, "TRACKNUMBER", repairUtf8(tags.track).c_str());
}

bool OggWriter::start() {
    if (!m_codec || !m_codec->configured || m_codec->started)
        return false;
    Codec& codec = *m_codec;
    if (vorbis_analysis_init(&codec.dsp, &codec.info) != 0)
        return false;
    vorbis_block_init(&codec.dsp, &codec.block);
    ogg_stream_init(&codec.stream, randomSerialNumber());
    codec.started = true;

    ogg_packet identification;
    ogg_packet comments;
    ogg_packet codebooks;
    if (vorbis_analysis_headerout(&codec.dsp, &codec.comment, &identification, &comments,
                                  &codebooks) != 0)
        return false;
    ogg_stream_packetin(&codec.stream, &identification);
    ogg_stream_packetin(&codec.stream, &comments);
    ogg_stream_packetin(&codec.stream, &codebooks);
    // Flushed, so that the first audio packet starts a page of its own.
    while (ogg_stream_flush(&codec.stream, &codec.page) != 0) {
        if (!writeCurrentPage())
            return false;
    }
    return true;
}

bool OggWriter::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    if (!isStarted() || m_codec->ended)
        return false;
    Codec& codec = *m_codec;
    if (frames >= 1) {
        if (!left || (m_channels == 2 && !right))
            return false;
        float** buffer = vorbis_analysis_buffer(&codec.dsp, frames);
        for (int i = 0; i < frames; ++i)
            buffer[0][i] = left[i] / kSampleScale;
        if (m_channels == 2) {
            for (int i = 0; i < frames; ++i)
                buffer[1][i] = right[i] / kSampleScale;
        }
        vorbis_analysis_wrote(&codec.dsp, frames);
    } else {
        vorbis_analysis_wrote(&codec.dsp, 0);
    }
    return drainBlocks() && !m_writeFailed;
}

bool OggWriter::drainBlocks() {
    Codec& codec = *m_codec;
    while (vorbis_analysis_blockout(&codec.dsp, &codec.block) == 1) {
        vorbis_analysis(&codec.block, nullptr);
        vorbis_bitrate_addblock(&codec.block);
        while (vorbis_bitrate_flushpacket(&codec.dsp, &codec.packet) == 1) {
            ogg_stream_packetin(&codec.stream, &codec.packet);
            while (!codec.ended && ogg_stream_pageout(&codec.stream, &codec.page) != 0) {
                if (!writeCurrentPage())
                    return false;
                if (ogg_page_eos(&codec.page) != 0)
                    codec.ended = true;
            }
        }
    }
    return true;
}

bool OggWriter::writeCurrentPage() {
    if (!writePageTo(m_file, m_codec->page))
        m_writeFailed = true;
    return !m_writeFailed;
}

bool OggWriter::close() {
    bool complete = !m_writeFailed;
    if (m_file) {
        // The stream's buffer reaches the disk only here.
        if (std::fclose(m_file) != 0)
            complete = false;
        m_file = nullptr;
    }
    m_codec.reset();
    m_sampleRate = 0;
    m_channels = 0;
    m_writeFailed = false;
    return complete;
}

} // namespace velmora
