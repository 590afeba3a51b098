#include "platform/ffmpeg/ffmpeg_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace velmora {

void FfmpegFree::operator()(AVCodecContext* context) const {
    avcodec_free_context(&context);
}

void FfmpegFree::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

void FfmpegFree::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

void FfmpegFree::operator()(SwrContext* resampler) const {
    swr_free(&resampler);
}

void FfmpegFree::operator()(AVAudioFifo* fifo) const {
    av_audio_fifo_free(fifo);
}

void FfmpegInputClose::operator()(AVFormatContext* context) const {
    avformat_close_input(&context);
}

void FfmpegOutputClose::operator()(AVFormatContext* context) const {
    if (context->pb)
        avio_closep(&context->pb);
    avformat_free_context(context);
}

} // namespace velmora
