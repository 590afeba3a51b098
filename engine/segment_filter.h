#pragma once

#include "sources/segment.h"

#include <cstdint>
#include <vector>

namespace velmora {

// Cuts a segment out of a source's PCM and fades it, block by block, between the source and a
// routine's adapt step: frames before the start are dropped, frames after the end never leave,
// and the first and last frames get equal-power fades.
//
// The fade-out needs the segment's real end, which only the source knows (it may end before the
// segment does, or not announce its length at all), so the last fade-out's worth of frames is
// held back until the end is seen and leaves through drain().
//
// Samples are those the source delivers: signed 16-bit, or unsigned 8-bit stored as bytes at the
// start of the buffers.
class SegmentFilter {
public:
    // Frames held back for a fade-out at most; a longer fade-out is shortened to this. 2^24
    // frames are 64 MiB of stereo 16-bit PCM, about six minutes at 44.1 kHz.
    static constexpr std::uint64_t kMaxHeldFrames = std::uint64_t{1} << 24;

    // rate in Hz, channels 1 or 2, bits 8 or 16. The fades are fitted to the segment first.
    SegmentFilter(const Segment& segment, int rate, int channels, int bits);

    // Takes one block as the source delivered it and leaves the frames that go on at the start
    // of the same buffers; returns their count (at most frames).
    int take(std::int16_t* left, std::int16_t* right, int frames);
    // Once the source or the segment ended: the held frames, faded out, at most maxFrames per
    // call into the caller's buffers; 0 when none remain.
    int drain(std::int16_t* left, std::int16_t* right, int maxFrames);

    // True once the segment's last frame was taken: reading on is of no use.
    bool ended() const { return m_taken >= m_lengthFrames; }
    // Frames of the segment taken so far.
    std::uint64_t framesTaken() const { return m_taken; }
    std::uint64_t startFrame() const { return m_startFrame; }
    std::uint64_t lengthFrames() const { return m_lengthFrames; }

    // Milliseconds as frames at `rate`, rounded down; saturates instead of overflowing.
    static std::uint64_t framesOf(std::int64_t ms, int rate);

private:
    struct Frame {
        std::int16_t left = 0;
        std::int16_t right = 0;
    };

    Frame readFrame(const std::int16_t* left, const std::int16_t* right, int index) const;
    void writeFrame(std::int16_t* left, std::int16_t* right, int index, Frame frame) const;
    Frame scaled(Frame frame, double gain) const;
    // Puts a frame into the fade-out delay; true and `out` set when an older frame leaves.
    bool delay(Frame frame, Frame& out);

    int m_channels = 1;
    int m_bits = 16;
    std::uint64_t m_startFrame = 0;
    std::uint64_t m_lengthFrames = 0;
    std::uint64_t m_fadeInFrames = 0;
    std::uint64_t m_fadeOutFrames = 0;
    std::uint64_t m_skipped = 0; // frames dropped before the start
    std::uint64_t m_taken = 0;
    // The fade-out delay: a ring of at most m_fadeOutFrames frames, grown as frames arrive so
    // that a short source never costs the full fade's memory.
    std::vector<Frame> m_held;
    std::size_t m_heldHead = 0; // oldest frame once the ring is full
    std::size_t m_drained = 0;  // frames of m_held already handed out by drain()
};

} // namespace velmora
