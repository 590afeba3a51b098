#pragma once

#include "sources/segment.h"
#include "sources/source_kind.h"

#include <optional>
#include <string>

namespace velmora {

// One file-list entry: what the probe learnt of the file when it was added.
struct SourceFile {
    std::string path;
    int channels = 0;    // every kind but MPEG audio
    int channelMode = 4; // MPEG audio only; 4 = unknown
    int sampleRate = 0;  // Hz
    int bitrateKbps = 0;
    int durationSeconds = 0;
    SourceKind kind = SourceKind::Other;
    // The output of the entry's last successful conversion; empty until then.
    std::string outputPath;
    // The part of the file to convert; none converts the whole file.
    std::optional<Segment> segment;
};

} // namespace velmora
