#include "writers/amr_writer.h"

#include <algorithm>

namespace velmora {

AmrWriter::~AmrWriter() {
    close();
}

int AmrWriter::usableMode(int mode, int modeCount) {
    return mode >= 0 && mode < modeCount ? mode : kFallbackMode;
}

void AmrWriter::resetFields() {
    m_narrowBand = true;
    m_dtx = 0;
    m_nbMode = kDefaultMode;
    m_wbMode = kDefaultMode;
    m_frameSamples = 0;
    m_count = 0;
}

bool AmrWriter::prepare(bool narrowBand) {
    close();
    m_narrowBand = narrowBand;
    m_frameSamples = narrowBand ? AmrNbEncoder::kFrameSamples : AmrWbEncoder::kFrameSamples;
    return true;
}

bool AmrWriter::open(const std::string& path) {
    if (m_frameSamples == 0 || isOpen())
        return false;
    m_count = 0;
    m_framesEncoded = 0;
    if (m_narrowBand)
        return m_nb.init(path, m_dtx != 0, usableMode(m_nbMode, AmrNbEncoder::kModeCount));
    return m_wb.init(path, m_dtx != 0, usableMode(m_wbMode, AmrWbEncoder::kModeCount));
}

bool AmrWriter::encodeFrame(const std::int16_t* frame) {
    ++m_framesEncoded;
    return m_narrowBand ? m_nb.encode(frame) : m_wb.encode(frame);
}

bool AmrWriter::write(const std::int16_t* samples, int count) {
    if (!isOpen())
        return false;
    if (count <= 0)
        return true;
    if (!samples)
        return false;
    // From here on: 0 <= m_count < m_frameSamples and samples holds count > 0 samples.
    if (m_count + count < m_frameSamples) {
        std::copy_n(samples, count, m_frameBuffer.begin() + m_count);
        m_count += count;
        return true;
    }
    bool written = true;
    if (m_count > 0) {
        const int completing = m_frameSamples - m_count;
        std::copy_n(samples, completing, m_frameBuffer.begin() + m_count);
        written = encodeFrame(m_frameBuffer.data());
        samples += completing;
        count -= completing;
        m_count = 0;
    }
    for (; count >= m_frameSamples; samples += m_frameSamples, count -= m_frameSamples)
        written = encodeFrame(samples) && written;
    std::copy_n(samples, count, m_frameBuffer.begin());
    m_count = count;
    return written;
}

bool AmrWriter::close() {
    bool whole = true;
    if (isOpen()) {
        if (m_count > 0) {
            std::fill(m_frameBuffer.begin() + m_count, m_frameBuffer.begin() + m_frameSamples, 0);
            whole = encodeFrame(m_frameBuffer.data());
        }
        whole = (m_narrowBand ? m_nb.quit() : m_wb.quit()) && whole;
    }
    resetFields();
    return whole;
}

} // namespace velmora
