#include "sources/source_kind.h"

#include "platform/ascii_case.h"

#include <algorithm>
#include <array>
#include <utility>

namespace velmora {
namespace {

struct ExtensionKind {
    std::string_view extension;
    SourceKind kind;
};

constexpr std::array kExtensionTable = {
    ExtensionKind{".mp3", SourceKind::MpegAudio},
    ExtensionKind{".wav", SourceKind::Wav},
    ExtensionKind{".wave", SourceKind::Wav},
    ExtensionKind{".mod", SourceKind::Module},
    ExtensionKind{".xm", SourceKind::Module},
    ExtensionKind{".it", SourceKind::Module},
    ExtensionKind{".s3m", SourceKind::Module},
    ExtensionKind{".mtm", SourceKind::Module},
    ExtensionKind{".umx", SourceKind::Module},
    ExtensionKind{".mo3", SourceKind::Module},
    ExtensionKind{".midi", SourceKind::Midi},
    ExtensionKind{".mid", SourceKind::Midi},
    ExtensionKind{".rmi", SourceKind::Midi},
    ExtensionKind{".kar", SourceKind::Midi},
    ExtensionKind{".cda", SourceKind::CdAudio},
    ExtensionKind{".flac", SourceKind::Flac},
    ExtensionKind{".fla", SourceKind::Flac},
    ExtensionKind{".wv", SourceKind::WavPack},
    ExtensionKind{".adx", SourceKind::Adx},
    ExtensionKind{".ape", SourceKind::MonkeysAudio},
    ExtensionKind{".mac", SourceKind::MonkeysAudio},
    ExtensionKind{".mpc", SourceKind::Musepack},
    ExtensionKind{".mpp", SourceKind::Musepack},
    ExtensionKind{".mp+", SourceKind::Musepack},
    ExtensionKind{".spx", SourceKind::Speex},
    ExtensionKind{".tta", SourceKind::Tta},
    ExtensionKind{".ogg", SourceKind::Ogg},
    ExtensionKind{".oga", SourceKind::Ogg},
    ExtensionKind{".ogm", SourceKind::Ogg},
    ExtensionKind{".ogv", SourceKind::Ogg},
    ExtensionKind{".ogx", SourceKind::Ogg},
    ExtensionKind{".au", SourceKind::Au},
    ExtensionKind{".snd", SourceKind::Au},
    ExtensionKind{".aif", SourceKind::Aiff},
    ExtensionKind{".aiff", SourceKind::Aiff},
    ExtensionKind{".aifc", SourceKind::Aiff},
    ExtensionKind{".afc", SourceKind::Aiff},
    ExtensionKind{".aac", SourceKind::Aac},
    ExtensionKind{".m4a", SourceKind::Mpeg4Audio},
    ExtensionKind{".m4b", SourceKind::Mpeg4Audio},
    ExtensionKind{".mp4", SourceKind::Mpeg4},
    ExtensionKind{".m4v", SourceKind::Mpeg4},
    ExtensionKind{".wma", SourceKind::WindowsMedia},
    ExtensionKind{".wmv", SourceKind::WindowsMedia},
    ExtensionKind{".asf", SourceKind::WindowsMedia},
    ExtensionKind{".wm", SourceKind::WindowsMedia},
    ExtensionKind{".wmd", SourceKind::WindowsMedia},
    ExtensionKind{".xwmv", SourceKind::WindowsMedia},
};

} // namespace

std::string_view fileNamePart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string lowerCaseExtension(std::string_view path) {
    const std::string_view name = fileNamePart(path);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return lowerCaseAscii(name.substr(dot));
}

SourceKind sourceKindForExtension(std::string_view lowerExtension) {
    const auto found =
        std::find_if(kExtensionTable.begin(), kExtensionTable.end(),
                     [&](const ExtensionKind& row) { return row.extension == lowerExtension; });
    return found == kExtensionTable.end() ? SourceKind::Other : found->kind;
}

SourceKind sourceKindForPath(std::string_view path) {
    return sourceKindForExtension(lowerCaseExtension(path));
}

} // namespace velmora
