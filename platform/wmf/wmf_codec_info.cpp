#include "platform/wmf/wmf_codec_info.h"

#include <array>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace velmora {
namespace {

constexpr std::array kRates = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
constexpr std::array<std::uint32_t, 12> kBitRates = {24000, 32000,  40000,  48000,  64000,  80000,
                                                     96000, 128000, 160000, 192000, 256000, 320000};
constexpr std::uint32_t kMaxBitsPerSample = 4;

std::string describe(const WmfMediaType& format, std::uint32_t bitRate) {
    return "Windows Media Audio " + std::to_string(bitRate / 1000) + " kbps, " +
           std::to_string(format.sampleRate) + " Hz, " +
           (format.channels == 1 ? "mono" : "stereo") + " CBR";
}

} // namespace

bool WmfCodecInfo::encoderAccepts(const WmfMediaType& format, std::uint32_t bitRate) {
    if (format.formatTag != kWmaFormatTag || format.channels < 1 || format.channels > 2)
        return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec)
        return false;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context)
        return false;
    context->sample_rate = format.sampleRate;
    av_channel_layout_default(&context->ch_layout, format.channels);
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->bit_rate = bitRate;
    context->time_base = {1, format.sampleRate > 0 ? format.sampleRate : 1};
    const bool opened = avcodec_open2(context, codec, nullptr) >= 0;
    avcodec_free_context(&context);
    return opened;
}

std::vector<WmfCodecFormat> WmfCodecInfo::audioFormats() {
    std::vector<WmfCodecFormat> formats;
    for (const int channels : {2, 1}) {
        for (const int rate : kRates) {
            const auto ceiling = static_cast<std::uint32_t>(rate * channels) * kMaxBitsPerSample;
            for (const std::uint32_t bitRate : kBitRates) {
                const WmfMediaType format{kWmaFormatTag, rate, channels};
                if (bitRate <= ceiling && encoderAccepts(format, bitRate))
                    formats.push_back({describe(format, bitRate), format, bitRate});
            }
        }
    }
    return formats;
}

} // namespace velmora
