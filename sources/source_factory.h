#pragma once

#include "sources/audio_source.h"
#include "sources/source_kind.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// The decoders a chain can name. Ffmpeg stands for the full FFmpeg source when opening for
// conversion and for its light probe variant when only describing a file.
enum class DecoderId { Bass, Ffmpeg, Wav, Aiff, Au, Ogg, WindowsMedia };

std::string_view decoderName(DecoderId id);
std::optional<DecoderId> decoderFromName(std::string_view name);

// Opens a path with the chain of decoders of its kind, the first that accepts it winning.
class SourceFactory {
public:
    static constexpr std::string_view kFailureNote =
        "To get help, please forward the failure file to <support@velmora.example>.";
    static constexpr std::string_view kNotRegularNote = "not a regular file";

    // Why `path` is refused before any decoder sees it: kNotRegularNote for a FIFO, device,
    // socket or folder (reading one could block forever or never end); empty otherwise.
    static std::string_view inputRefusal(const std::string& path);

    // The decoders tried, in order, for a kind.
    static std::span<const DecoderId> chainFor(SourceKind kind);

    // renderRate: the conversion's output rate (or 44100); 0 when only describing the file.
    // When every decoder fails and forConversion is set, failureNote() holds kFailureNote; an
    // input refused before decoding leaves its refusal there instead.
    std::unique_ptr<AudioSource> open(const std::string& path, SourceKind kind, int renderRate,
                                      bool forConversion);

    // Opens with one decoder only; none when it is not built or rejects the file.
    static std::unique_ptr<AudioSource> openWith(DecoderId id, const std::string& path,
                                                 int renderRate, bool forConversion);

    // A fresh, unopened instance of a decoder; none when this build has no such decoder.
    static std::unique_ptr<AudioSource> create(DecoderId id, bool forConversion);

    // The decoder that opened the last successful open().
    std::optional<DecoderId> lastDecoder() const { return m_lastDecoder; }
    const std::string& failureNote() const { return m_failureNote; }
    void clearFailureNote() { m_failureNote.clear(); }

private:
    std::optional<DecoderId> m_lastDecoder;
    std::string m_failureNote;
};

} // namespace velmora
