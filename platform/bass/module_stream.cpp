#include "platform/bass/module_stream.h"

#include "platform/bass/input_file.h"

#include <cmath>
#include <cstring>

namespace velmora {

std::unique_ptr<ModuleStream> ModuleStream::open(const std::string& path, int renderRate) {
    if (renderRate < kMinRenderRate || renderRate > kMaxRenderRate)
        return nullptr;
    const auto file = InputFile::open(path);
    if (!file)
        return nullptr;
    const auto bytes = file->readAll(kMaxFileBytes);
    if (!bytes || bytes->empty())
        return nullptr;

    std::unique_ptr<ModuleStream> stream(new ModuleStream());
    // The C interface reports errors by code and never lets an exception out; the log and
    // error callbacks keep the library's messages off the terminal.
    int error = OPENMPT_ERROR_OK;
    stream->m_module = openmpt_module_create_from_memory2(
        bytes->data(), bytes->size(), &openmpt_log_func_silent, nullptr, &openmpt_error_func_ignore,
        nullptr, &error, nullptr, nullptr);
    if (!stream->m_module)
        return nullptr;
    // Played once: no repeats of the whole song.
    if (openmpt_module_set_repeat_count(stream->m_module, 0) == 0)
        return nullptr;
    const double seconds = openmpt_module_get_duration_seconds(stream->m_module);
    if (!(seconds > 0.0) || seconds > kMaxRenderSeconds)
        return nullptr;
    stream->m_rate = renderRate;
    const auto frames = static_cast<std::uint64_t>(std::llround(seconds * renderRate));
    if (frames == 0 || !stream->setFormat(StreamInfo{renderRate, 2, false}, frames))
        return nullptr;
    return stream;
}

ModuleStream::~ModuleStream() {
    if (m_module)
        openmpt_module_destroy(m_module);
}

std::size_t ModuleStream::decodeFrames(std::uint8_t* out, std::size_t frames) {
    m_samples.resize(frames * 2);
    const std::size_t got =
        openmpt_module_read_interleaved_stereo(m_module, m_rate, frames, m_samples.data());
    std::memcpy(out, m_samples.data(), got * 2 * sizeof(std::int16_t));
    return got;
}

} // namespace velmora
