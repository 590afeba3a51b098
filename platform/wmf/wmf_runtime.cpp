#include "platform/wmf/wmf_runtime.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace velmora {
namespace {

bool findComponents() {
    return avcodec_find_decoder(AV_CODEC_ID_WMAV1) != nullptr &&
           avcodec_find_decoder(AV_CODEC_ID_WMAV2) != nullptr &&
           avcodec_find_encoder_by_name("wmav2") != nullptr &&
           av_find_input_format("asf") != nullptr &&
           av_guess_format("asf", nullptr, nullptr) != nullptr;
}

} // namespace

bool WmfRuntime::available() {
    static const bool found = findComponents();
    return found;
}

} // namespace velmora
