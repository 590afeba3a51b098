#pragma once

#include <cstdint>
#include <memory>

namespace velmora {

// Start-up and exit of the decoding layer, held for the life of the program. The layer opens
// no sound device and starts no thread: it only decodes. Its decoders are built in, so there
// is nothing to load from a plug-in folder.
class DecodingLibrary {
public:
    // The layer's version: major in bits 24-31, minor in bits 16-23, revision below.
    static constexpr std::uint32_t kVersion = 0x02040000;
    // The major.minor the program is written against, compared with the high 16 bits.
    static constexpr std::uint32_t kRequiredMajorMinor = 0x0204;

    static std::uint32_t version() { return kVersion; }
    static bool versionSupported(std::uint32_t version) {
        return (version >> 16) == kRequiredMajorMinor;
    }

    // Starts the layer after the version check. The decoders need no process-wide set-up of
    // their own (each stream sets up its decoder). None when the version does not match or the
    // layer is already started.
    static std::unique_ptr<DecodingLibrary> start();
    static bool running();

    DecodingLibrary(const DecodingLibrary&) = delete;
    DecodingLibrary& operator=(const DecodingLibrary&) = delete;
    // Exit: the default SoundFont is released. Streams still open stay usable until destroyed.
    ~DecodingLibrary();

private:
    DecodingLibrary() = default;
};

} // namespace velmora
