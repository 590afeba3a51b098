#pragma once

#include <string>

struct AVDictionary;

namespace velmora {

// Owns an FFmpeg option or metadata dictionary. The calls that take options out of it
// (avcodec_open2, avformat_open_input, avformat_write_header) get its address and leave what
// they did not use; whatever is left is freed with the dictionary.
class FfmpegDictionary {
public:
    FfmpegDictionary() = default;
    ~FfmpegDictionary();
    FfmpegDictionary(const FfmpegDictionary&) = delete;
    FfmpegDictionary& operator=(const FfmpegDictionary&) = delete;

    // False when FFmpeg could not store the entry (out of memory).
    bool set(const char* key, const std::string& value);
    AVDictionary** address() { return &m_dictionary; }

private:
    AVDictionary* m_dictionary = nullptr;
};

} // namespace velmora
