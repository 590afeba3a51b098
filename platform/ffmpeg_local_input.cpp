#include "platform/ffmpeg_local_input.h"

#include "platform/regular_file.h"

#include <cerrno>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
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

// Owns an option dictionary; libavformat takes out the entries it uses and leaves the rest.
struct Options {
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { av_dict_free(&dictionary); }
    AVDictionary* dictionary = nullptr;
};

} // namespace

AVFormatContext* openLocalInput(const std::string& path, const AVInputFormat* format) {
    if (checkRegularFile(path) != OpenFailure::None || !defaultIoOpen())
        return nullptr;
    Options options;
    if (av_dict_set(&options.dictionary, "protocol_whitelist", "file", 0) < 0)
        return nullptr;
    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return nullptr;
    context->io_open = openRegularFilesOnly;
    const std::string url = std::string(kFileScheme) + path;
    // A failed open frees the context itself.
    if (avformat_open_input(&context, url.c_str(), format, &options.dictionary) < 0)
        return nullptr;
    return context;
}

} // namespace velmora
