#include "sources/source_factory.h"

#include "platform/regular_file.h"
#include "platform/wmf/wmf_runtime.h"
#include "sources/aiff_source.h"
#include "sources/au_source.h"
#include "sources/bass_source.h"
#include "sources/ffmpeg_probe_source.h"
#include "sources/ffmpeg_source.h"
#include "sources/ogg_source.h"
#include "sources/wav_source.h"
#include "sources/wma_source.h"

#include <array>
#include <vector>

namespace velmora {
namespace {

using enum DecoderId;

constexpr std::array kDecoderNames = {
    std::pair{Bass, std::string_view{"bass"}},
    std::pair{Ffmpeg, std::string_view{"ffmpeg"}},
    std::pair{Wav, std::string_view{"wav"}},
    std::pair{Aiff, std::string_view{"aiff"}},
    std::pair{Au, std::string_view{"au"}},
    std::pair{Ogg, std::string_view{"ogg"}},
    std::pair{WindowsMedia, std::string_view{"wma"}},
};

constexpr std::array kBassFirst = {Bass, Ffmpeg};
constexpr std::array kWavChain = {Bass, Ffmpeg, Wav};
constexpr std::array kFfmpegFirst = {Ffmpeg, Bass};
constexpr std::array kOggChain = {Ogg, Bass, Ffmpeg};
constexpr std::array kAuChain = {Au, Ffmpeg};
constexpr std::array kAiffChain = {Aiff, Bass, Ffmpeg};
constexpr std::array kWindowsMediaChain = {WindowsMedia, Ffmpeg};
constexpr std::array kFfmpegOnly = {Ffmpeg};

} // namespace

std::string_view decoderName(DecoderId id) {
    for (const auto& [decoder, name] : kDecoderNames)
        if (decoder == id)
            return name;
    return {};
}

std::optional<DecoderId> decoderFromName(std::string_view name) {
    for (const auto& [decoder, decoderText] : kDecoderNames)
        if (decoderText == name)
            return decoder;
    return std::nullopt;
}

std::span<const DecoderId> SourceFactory::chainFor(SourceKind kind) {
    switch (kind) {
    case SourceKind::Wav:
        return kWavChain;
    case SourceKind::MpegAudio:
    case SourceKind::Module:
    case SourceKind::Midi:
    case SourceKind::CdAudio:
    case SourceKind::Flac:
    case SourceKind::WavPack:
    case SourceKind::Adx:
    case SourceKind::MonkeysAudio:
    case SourceKind::Musepack:
    case SourceKind::Tta:
    case SourceKind::Aac:
    case SourceKind::Mpeg4Audio:
    case SourceKind::Mpeg4:
        return kBassFirst;
    case SourceKind::Speex:
        return kFfmpegFirst;
    case SourceKind::Ogg:
        return kOggChain;
    case SourceKind::Au:
        return kAuChain;
    case SourceKind::Aiff:
        return kAiffChain;
    case SourceKind::WindowsMedia:
        return kWindowsMediaChain;
    case SourceKind::Other:
        break;
    }
    return kFfmpegOnly;
}

std::unique_ptr<AudioSource> SourceFactory::create(DecoderId id, bool forConversion) {
    switch (id) {
    case Wav:
        return std::make_unique<WavSource>();
    case Bass:
        return std::make_unique<BassSource>();
    case Aiff:
        return std::make_unique<AiffSource>();
    case Au:
        return std::make_unique<AuSource>();
    case Ffmpeg:
        if (forConversion)
            return std::make_unique<FfmpegSource>();
        return std::make_unique<FfmpegProbeSource>();
    case Ogg:
        return std::make_unique<OggSource>();
    case WindowsMedia:
        return std::make_unique<WmaSource>();
    }
    return nullptr;
}

std::unique_ptr<AudioSource> SourceFactory::openWith(DecoderId id, const std::string& path,
                                                     int renderRate, bool forConversion) {
    auto source = create(id, forConversion);
    if (!source)
        return nullptr;
    if (source->open(path, renderRate))
        return source;
    source->close();
    return nullptr;
}

std::string_view SourceFactory::inputRefusal(const std::string& path) {
    return checkRegularFile(path) == OpenFailure::NotRegular ? kNotRegularNote : std::string_view();
}

std::unique_ptr<AudioSource> SourceFactory::open(const std::string& path, SourceKind kind,
                                                 int renderRate, bool forConversion) {
    m_lastDecoder.reset();
    if (const std::string_view refusal = inputRefusal(path); !refusal.empty()) {
        m_failureNote = refusal;
        return nullptr;
    }
    for (DecoderId id : chainFor(kind)) {
        // Without the Windows Media runtime the BASS source stands in for it.
        if (id == WindowsMedia && !WmfRuntime::available())
            id = Bass;
        if (auto source = openWith(id, path, renderRate, forConversion)) {
            m_lastDecoder = id;
            return source;
        }
    }
    if (forConversion)
        m_failureNote = kFailureNote;
    return nullptr;
}

} // namespace velmora
