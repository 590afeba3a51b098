#pragma once

namespace velmora {

// The Windows Media runtime of this platform: FFmpeg's WMA codecs and its ASF demuxer and muxer.
// The reading side lives in WmfSyncReader and WmfHeaderInfo; the writing side sits beside them.
class WmfRuntime {
public:
    // True when FFmpeg has what reading and writing Windows Media files needs: the wmav1 and
    // wmav2 decoders, the ASF demuxer, the wmav2 encoder and the ASF muxer. The answer is found
    // once and kept for the run, as a runtime binding would be.
    static bool available();
};

} // namespace velmora
