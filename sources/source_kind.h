#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The family of an input file, chosen from its extension. The numeric codes are stored with
// every list entry and tested by the conversion routines.
enum class SourceKind : int {
    MpegAudio = 1000,
    Wav = 2000,
    Module = 3000,
    Midi = 3050,
    CdAudio = 3100,
    Flac = 3200,
    WavPack = 3300,
    Adx = 3500,
    MonkeysAudio = 3600,
    Musepack = 3700,
    Speex = 3800,
    Tta = 3900,
    Ogg = 4000,
    Au = 5000,
    Aiff = 5100,
    Aac = 6000,
    Mpeg4Audio = 6500,
    Mpeg4 = 6600,
    WindowsMedia = 7000,
    Other = 9000,
};

// The characters from the last "." of the file-name part, lower-cased ASCII; empty when the
// name has no ".".
std::string lowerCaseExtension(std::string_view path);

// The part of the path after its last "/".
std::string_view fileNamePart(std::string_view path);

SourceKind sourceKindForExtension(std::string_view lowerExtension);
SourceKind sourceKindForPath(std::string_view path);

constexpr int code(SourceKind kind) {
    return static_cast<int>(kind);
}

} // namespace velmora
