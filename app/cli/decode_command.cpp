#include "app/cli/commands.h"
#include "app/cli/json_line.h"
#include "platform/bass/midi_sound_font.h"
#include "sources/source_factory.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

namespace velmora::cli {
namespace {

struct DecodeRequest {
    std::string input;
    std::string output;
    int renderRate = 44100;
    std::optional<DecoderId> decoder;
};

std::optional<int> parsePositive(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0)
        return std::nullopt;
    return value;
}

// Fills `request` from the words after "decode"; returns a usage message on failure.
std::optional<std::string> parseDecodeArgs(const std::vector<std::string>& args,
                                           DecodeRequest& request) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "-o" || arg == "--render-rate" || arg == "--decoder") {
            if (!hasValue)
                return "decode: " + arg + " needs a value";
            const std::string& value = args[++i];
            if (arg == "-o") {
                request.output = value;
            } else if (arg == "--render-rate") {
                const auto rate = parsePositive(value);
                if (!rate || *rate > 384000)
                    return "decode: --render-rate wants a rate in Hz, not " + value;
                request.renderRate = *rate;
            } else {
                request.decoder = decoderFromName(value);
                if (!request.decoder)
                    return "decode: unknown decoder " + value +
                           " (wav, aiff, au, bass, ffmpeg, ogg, wma)";
            }
        } else if (arg.starts_with("-")) {
            return "decode: unknown option " + arg;
        } else if (request.input.empty()) {
            request.input = arg;
        } else {
            return "decode: only one input file may be given";
        }
    }
    if (request.input.empty() || request.output.empty())
        return "decode: usage: velmora-cli decode [--render-rate HZ] [--decoder NAME] FILE -o "
               "OUT.raw";
    return std::nullopt;
}

JsonLine tagsObject(AudioSource& source) {
    TagSet tags;
    source.readTags(tags);
    JsonLine object;
    object.add("title", tags.title)
        .add("artist", tags.artist)
        .add("album", tags.album)
        .add("year", tags.year)
        .add("genre", tags.genre)
        .add("comment", tags.comment)
        .add("track", tags.track)
        .add("composer", tags.composer)
        .add("copyright", tags.copyright);
    return object;
}

struct DecodeCounts {
    std::uint64_t frames = 0;
    std::uint64_t reads = 0;
    int maxFramesPerRead = 0;
};

// Interleaves what each read delivers and writes it; false when the output could not be written.
bool decodeToFile(AudioSource& source, std::FILE* out, DecodeCounts& counts) {
    constexpr int kFrames = AudioSource::kMaxFramesPerRead;
    std::array<std::int16_t, kFrames> left{};
    std::array<std::int16_t, kFrames> right{};
    std::array<std::uint8_t, kFrames * 4> interleaved{};
    const bool stereo = source.outChannels() == 2;
    const bool eightBit = source.bitsPerSample() == 8;
    for (;;) {
        const int frames = source.read(left.data(), stereo ? right.data() : nullptr);
        if (frames <= 0)
            return true;
        const int delivered = std::min(frames, kFrames);
        ++counts.reads;
        counts.frames += static_cast<std::uint64_t>(delivered);
        counts.maxFramesPerRead = std::max(counts.maxFramesPerRead, frames);
        std::size_t bytes = 0;
        for (int i = 0; i < delivered; ++i) {
            for (int channel = 0; channel < (stereo ? 2 : 1); ++channel) {
                std::int16_t* plane = channel == 0 ? left.data() : right.data();
                if (eightBit) {
                    interleaved[bytes++] = AudioSource::asBytes(plane)[i];
                } else {
                    const auto sample = static_cast<std::uint16_t>(plane[i]);
                    interleaved[bytes++] = static_cast<std::uint8_t>(sample & 0xFF);
                    interleaved[bytes++] = static_cast<std::uint8_t>(sample >> 8);
                }
            }
        }
        if (std::fwrite(interleaved.data(), 1, bytes, out) != bytes)
            return false;
    }
}

} // namespace

int runDecode(const std::vector<std::string>& args) {
    DecodeRequest request;
    if (const auto problem = parseDecodeArgs(args, request))
        return usageError(*problem);

    // MIDI renders with the default SoundFont; without one a song keeps its length but is silent.
    MidiSoundFont::ensureDefault();
    SourceFactory factory;
    std::unique_ptr<AudioSource> source;
    DecoderId decoder{};
    if (const std::string_view refusal = SourceFactory::inputRefusal(request.input);
        !refusal.empty()) {
        std::cerr << request.input << ": " << refusal << '\n';
        return kExitFailed;
    }
    if (request.decoder) {
        source = SourceFactory::openWith(*request.decoder, request.input, request.renderRate, true);
        decoder = *request.decoder;
    } else {
        source =
            factory.open(request.input, sourceKindForPath(request.input), request.renderRate, true);
        if (source)
            decoder = *factory.lastDecoder();
    }
    if (!source) {
        std::cerr << request.input << ": no decoder accepts this file";
        if (!factory.failureNote().empty())
            std::cerr << ". " << factory.failureNote();
        std::cerr << '\n';
        return kExitFailed;
    }

    std::FILE* out = std::fopen(request.output.c_str(), "wb");
    if (!out) {
        std::cerr << request.output << ": cannot create the output file\n";
        return kExitFailed;
    }
    DecodeCounts counts;
    const bool written = decodeToFile(*source, out, counts);
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        std::error_code ignored;
        std::filesystem::remove(request.output, ignored);
        std::cerr << request.output << ": writing the output failed\n";
        return kExitFailed;
    }

    JsonLine line;
    line.add("decoder", decoderName(decoder))
        .add("sampleRate", source->sampleRate())
        .add("channels", source->channels())
        .add("outChannels", source->outChannels())
        .add("bitsPerSample", source->bitsPerSample())
        .add("frames", counts.frames)
        .add("reads", counts.reads)
        .add("maxFramesPerRead", counts.maxFramesPerRead)
        .add("length", source->length())
        .add("durationSeconds", source->durationSeconds())
        .add("bitrateKbps", source->bitrateKbps())
        .add("tags", tagsObject(*source));
    std::cout << line.text() << '\n';
    source->close();
    return kExitOk;
}

} // namespace velmora::cli
