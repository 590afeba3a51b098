#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace velmora {

// One channel's samples as the steps of the block loop hand them on: signed 16-bit samples, or
// unsigned 8-bit samples (128 = silence) from the first byte of the same memory, which is how an
// AudioSource fills its std::int16_t buffers for 8-bit material. The plane does not own the
// memory and does not know the width: the format of the chain says which view to take.
template <typename Byte> class BasicPcmPlane {
public:
    using Sample16 = std::conditional_t<std::is_const_v<Byte>, const std::int16_t, std::int16_t>;

    BasicPcmPlane() = default;
    BasicPcmPlane(std::nullptr_t) {}
    BasicPcmPlane(Sample16* samples) : m_bytes(reinterpret_cast<Byte*>(samples)) {}
    BasicPcmPlane(Byte* bytes) : m_bytes(bytes) {}
    // A writable plane may always be read.
    template <typename Other>
    requires(std::is_const_v<Byte> && !std::is_const_v<Other>)
        BasicPcmPlane(const BasicPcmPlane<Other>& other)
        : m_bytes(other.samples8()) {}

    Sample16* samples16() const { return reinterpret_cast<Sample16*>(m_bytes); }
    Byte* samples8() const { return m_bytes; }
    explicit operator bool() const { return m_bytes != nullptr; }

private:
    Byte* m_bytes = nullptr;
};

using PcmPlane = BasicPcmPlane<std::uint8_t>;
using ConstPcmPlane = BasicPcmPlane<const std::uint8_t>;

} // namespace velmora
