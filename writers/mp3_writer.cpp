#include "writers/mp3_writer.h"

#include <algorithm>
#include <lame/lame.h>
#include <mutex>

namespace velmora {
namespace {

constexpr int kMinBitrate = 8;   // kbit/s
constexpr int kMaxBitrate = 320; // kbit/s

} // namespace

Mp3Writer::Mp3Writer() : m_outBuffer(kOutputBufferBytes) {}

Mp3Writer::~Mp3Writer() {
    close();
}

namespace {

// LAME fills process-wide tables (logarithms, quantizer powers) while it sets an encoder up, with
// no lock of its own: encoders set up on two threads at once would write them together.
std::mutex& encoderSetupMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

bool Mp3Writer::open(const std::string& path) {
    close();
    // "e": the descriptor is not inherited by programs the process starts.
    m_file = std::fopen(path.c_str(), "wbe");
    if (!m_file)
        return false;
    m_path = path;
    std::unique_lock lock(encoderSetupMutex());
    m_lame = lame_init();
    lock.unlock();
    if (!m_lame) {
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    m_channels = lame_get_num_channels(m_lame);
    return true;
}

void Mp3Writer::setInSampleRate(int hz) {
    if (m_lame)
        lame_set_in_samplerate(m_lame, hz);
}

void Mp3Writer::setOutSampleRate(int hz) {
    if (m_lame)
        lame_set_out_samplerate(m_lame, hz);
}

void Mp3Writer::setChannels(int channels) {
    if (!m_lame)
        return;
    m_channels = std::clamp(channels, 1, 2);
    lame_set_num_channels(m_lame, m_channels);
}

void Mp3Writer::setMode(int mode) {
    if (!m_lame)
        return;
    MPEG_mode chosen = STEREO;
    if (mode == 1)
        chosen = JOINT_STEREO;
    else if (mode == 3)
        chosen = MONO;
    lame_set_mode(m_lame, chosen);
}

void Mp3Writer::setBitrate(int kbps) {
    if (m_lame)
        lame_set_brate(m_lame, std::clamp(kbps, kMinBitrate, kMaxBitrate));
}

void Mp3Writer::setId3v1(std::span<const std::uint8_t> block) {
    if (block.size() == kId3v1Bytes)
        m_id3v1.assign(block.begin(), block.end());
}

void Mp3Writer::setId3v2(std::span<const std::uint8_t> tag) {
    m_id3v2.assign(tag.begin(), tag.end());
}

bool Mp3Writer::start() {
    if (!m_lame || !m_file || m_started)
        return false;
    lame_set_bWriteVbrTag(m_lame, 0);
    lame_set_VBR(m_lame, vbr_off);
    std::unique_lock lock(encoderSetupMutex());
    if (lame_init_params(m_lame) < 0)
        return false;
    lock.unlock();
    // The encoder may have settled on another channel count (a mono mode takes one channel).
    m_channels = lame_get_num_channels(m_lame);
    m_started = true;
    return m_id3v2.empty() || writeAll(m_id3v2.data(), m_id3v2.size());
}

bool Mp3Writer::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    if (!m_started || frames < 0)
        return false;
    if (frames == 0)
        return true;
    if (!left || (m_channels == 2 && !right))
        return false;
    const int produced =
        lame_encode_buffer(m_lame, left, m_channels == 2 ? right : nullptr, frames,
                           m_outBuffer.data(), static_cast<int>(m_outBuffer.size()));
    if (produced < 0)
        return false;
    return produced == 0 || writeAll(m_outBuffer.data(), static_cast<std::size_t>(produced));
}

bool Mp3Writer::close() {
    bool complete = true;
    if (m_file) {
        if (m_started) {
            const int produced =
                lame_encode_flush(m_lame, m_outBuffer.data(), static_cast<int>(m_outBuffer.size()));
            if (produced < 0)
                complete = false;
            else if (produced > 0)
                complete =
                    writeAll(m_outBuffer.data(), static_cast<std::size_t>(produced)) && complete;
        }
        if (!m_id3v1.empty())
            complete = writeAll(m_id3v1.data(), m_id3v1.size()) && complete;
        // The stream's buffer reaches the disk only here; a failure now loses the file's end.
        if (std::fclose(m_file) != 0)
            complete = false;
        m_file = nullptr;
    }
    m_id3v1.clear();
    m_id3v2.clear();
    releaseEncoder();
    m_started = false;
    return complete;
}

bool Mp3Writer::writeAll(const void* bytes, std::size_t size) {
    return std::fwrite(bytes, 1, size, m_file) == size;
}

void Mp3Writer::releaseEncoder() {
    if (m_lame) {
        lame_close(m_lame);
        m_lame = nullptr;
    }
}

} // namespace velmora
