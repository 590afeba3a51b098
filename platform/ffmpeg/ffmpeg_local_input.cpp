#include "platform/ffmpeg/ffmpeg_local_input.h"

#include "platform/ffmpeg/ffmpeg_dictionary.h"
#include "platform/regular_file.h"

#include <cerrno>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
}

namespace velmora {
namespace {

using IoOpen = int (*)(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**);

constexpr std::string_view kFileScheme = "file:";

// libavformat's own opener, taken once from a fresh context.
IoOpen defaultIoOpen() {
    static const IoOpen opener = [] {
        AVFormatContext* context = avformat_alloc_context();
        const IoOpen found = context ? context->io_open : nullptr;
        avformat_free_context(context);
        return found;
    }();
    return opener;
}

int openRegularFilesOnly(AVFormatContext* context, AVIOContext** io, const char* url, int flags,
                         AVDictionary** options) {
    std::string_view name = url ? url : "";
    if (name.starts_with(kFileScheme))
        name.remove_prefix(kFileScheme.size());
    if ((flags & AVIO_FLAG_WRITE) == 0 && checkRegularFile(std::string(name)) != OpenFailure::None)
        return AVERROR(EINVAL);
    return defaultIoOpen()(context, io, url, flags, options);
}

} // namespace

AVFormatContext* openLocalInput(const std::string& path, const AVInputFormat* format) {
    if (checkRegularFile(path) != OpenFailure::None || !defaultIoOpen())
        return nullptr;
    FfmpegDictionary options;
    if (!options.set("protocol_whitelist", "file"))
        return nullptr;
    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return nullptr;
    context->io_open = openRegularFilesOnly;
    const std::string url = std::string(kFileScheme) + path;
    // A failed open frees the context itself.
    if (avformat_open_input(&context, url.c_str(), format, options.address()) < 0)
        return nullptr;
    return context;
}

} // namespace velmora
