#pragma once

#include <string>

struct AVFormatContext;
struct AVInputFormat;

namespace velmora {

// Opens a local file with libavformat for reading (`format` forces a demuxer; null lets it
// probe). The path is always taken as a local file name: the "file:" prefix keeps a name such as
// "http:x.mp3" or "concat:a|b" from being taken for another protocol, and the protocol whitelist
// keeps playlists and similar containers from reaching out to anything but local files. The file,
// and every further file a demuxer opens on its behalf, must be a regular file: a FIFO or device
// is refused before libavformat's open() could block on it. Null on failure.
AVFormatContext* openLocalInput(const std::string& path, const AVInputFormat* format);

} // namespace velmora
