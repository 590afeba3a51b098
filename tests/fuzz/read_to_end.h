#pragma once

// The one open-and-read-to-end template every harness runs its parser through, with the
// invariants that must hold for any input:
// - a read never returns more than the block size asked for;
// - the position never passes the length;
// - reading ends (a hang guard: no reader needs more reads than a few per input byte);
// plus each target's own checks once the reading has ended.

#include "platform/text_encoding.h"
#include "sources/audio_source.h"
#include "platform/tag_set.h"
#include "tests/fuzz/scratch_file.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace velmora::fuzz {

// Stops the run; libFuzzer keeps the input that did it as a crash file.
[[noreturn]] inline void fail(const char* invariant) {
    std::fprintf(stderr, "velmora fuzz: broken invariant: %s\n", invariant);
    std::abort();
}

inline void check(bool holds, const char* invariant) {
    if (!holds)
        fail(invariant);
}

inline void checkTagsAreUtf8(const TagSet& tags) {
    for (const std::string* text : {&tags.title, &tags.artist, &tags.album, &tags.year, &tags.genre,
                                    &tags.comment, &tags.track, &tags.composer, &tags.copyright})
        check(isValidUtf8(*text), "every tag text is valid UTF-8");
}

// One read call: the block size asked for and what came back, in the target's own unit.
struct ReadStep {
    std::uint64_t asked = 0;
    std::uint64_t got = 0; // 0 ends the reading
};

// What a harness gives the template. kFileName is the name the input is written under for a
// parser that opens paths, or nullptr for one that reads memory (`file` is then empty).
template <typename Target>
concept FuzzTarget = requires(Target target, const Target& constTarget,
                              std::span<const std::uint8_t> bytes,
                              const std::filesystem::path& file) {
    { Target::kFileName } -> std::convertible_to<const char*>;
    { target.open(bytes, file) } -> std::same_as<bool>;
    { target.read() } -> std::same_as<ReadStep>;
    { constTarget.position() } -> std::same_as<std::uint64_t>;
    { constTarget.length() } -> std::same_as<std::uint64_t>;
    target.checkAtEnd();
};

// A parser that does all its work in open(): nothing to read block by block.
struct OneShotTarget {
    ReadStep read() { return {}; }
    std::uint64_t position() const { return 0; }
    std::uint64_t length() const { return 0; }
};

// Eight reads per input byte is far above what any reader needs: a reader may return short
// blocks (one small ADPCM block per read), but no format spends less than a byte on a read.
inline std::uint64_t maxReads(std::size_t inputBytes) {
    return 8 * static_cast<std::uint64_t>(inputBytes) + 64;
}

template <FuzzTarget Target> int openAndReadToEnd(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    std::optional<ScratchFile> file;
    if constexpr (Target::kFileName != nullptr)
        file.emplace(bytes, Target::kFileName);
    Target target;
    if (!target.open(bytes, file ? file->path() : std::filesystem::path()))
        return 0;
    check(target.position() <= target.length(), "the position never passes the length");
    for (std::uint64_t reads = 0;; ++reads) {
        check(reads <= maxReads(size), "reading ends");
        const ReadStep step = target.read();
        check(step.got <= step.asked, "a read never returns more than the block size asked");
        check(target.position() <= target.length(), "the position never passes the length");
        if (step.got == 0)
            break;
    }
    target.checkAtEnd();
    return 0;
}

// The program's own audio readers, opened by path and read block by block to the end.
template <std::derived_from<AudioSource> Source> class SourceTarget {
public:
    static constexpr const char* kFileName = "input";
    static constexpr int kRenderRate = 44100;

    bool open(std::span<const std::uint8_t>, const std::filesystem::path& file) {
        if (!m_source.open(file.string(), kRenderRate))
            return false;
        check(m_source.outChannels() == 1 || m_source.outChannels() == 2,
              "one or two channels are delivered");
        check(m_source.bitsPerSample() == 8 || m_source.bitsPerSample() == 16,
              "samples are delivered as 8 or 16 bits");
        return true;
    }

    ReadStep read() {
        // Separate allocations of exactly the documented size, so that AddressSanitizer
        // catches a write past either of them.
        const int frames = m_source.read(m_left.get(), m_right.get());
        return {AudioSource::kMaxFramesPerRead,
                frames > 0 ? static_cast<std::uint64_t>(frames) : 0};
    }

    std::uint64_t position() const { return m_source.position(); }
    std::uint64_t length() const { return m_source.length(); }

    void checkAtEnd() {
        TagSet tags;
        m_source.readTags(tags);
        checkTagsAreUtf8(tags);
    }

private:
    Source m_source;
    std::unique_ptr<std::int16_t[]> m_left =
        std::make_unique<std::int16_t[]>(AudioSource::kMaxFramesPerRead);
    std::unique_ptr<std::int16_t[]> m_right =
        std::make_unique<std::int16_t[]>(AudioSource::kMaxFramesPerRead);
};

} // namespace velmora::fuzz
