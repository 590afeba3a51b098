#include "platform/ffmpeg/ffmpeg_dictionary.h"

extern "C" {
#include <libavutil/dict.h>
}

namespace velmora {

FfmpegDictionary::~FfmpegDictionary() {
    av_dict_free(&m_dictionary);
}

bool FfmpegDictionary::set(const char* key, const std::string& value) {
    return av_dict_set(&m_dictionary, key, value.c_str(), 0) >= 0;
}

} // namespace velmora
