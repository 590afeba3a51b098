#pragma once

#include "sources/audio_source.h"

namespace velmora {

// The program's own RIFF/WAVE reader. (Being written.)
class WavSource : public AudioSource {
public:
    void close() override { AudioSource::close(); }
    bool open(const std::string&, int) override { return false; }
    int read(std::int16_t*, std::int16_t*) override { return 0; }
};

} // namespace velmora
