#pragma once

#include "platform/ffmpeg/ffmpeg_handles.h"
#include "platform/wmf/wmf_codec_info.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The writer of the Windows Media runtime: makes an ASF file (WMA, WMV or ASF, audio only) with
// one audio stream of a codec format the runtime offers. It takes timed PCM samples in the
// input format it was told and converts rate, sample width and channel count to the codec
// format itself (two channels fold to one as (L+R)/2, one channel feeds both). The header
// attributes are written when the file is finished.
//
// Life cycle: setProfile, setInputProps, the attributes, beginWriting, writeSample per block,
// endWriting. release() (and the destructor) abandon a file without finishing it.
class WmfWriter {
public:
    WmfWriter();
    ~WmfWriter();
    WmfWriter(const WmfWriter&) = delete;
    WmfWriter& operator=(const WmfWriter&) = delete;

    // The one audio stream: the codec format and its bit rate (bit/s). False when the runtime has
    // no encoder for them.
    bool setProfile(const WmfMediaType& format, std::uint32_t bitRate);
    // The PCM that writeSample() receives: interleaved, signed 16-bit or unsigned 8-bit samples,
    // one or two channels. False for any other format.
    bool setInputProps(int sampleRate, int bitsPerSample, int channels);

    // A header attribute of stream 0: text (UTF-8) or a 32-bit number. Attributes are written in
    // the order given; the content description ("Title", "Author", "Description", "Copyright")
    // goes where every reader looks for it.
    void setAttribute(const std::string& name, const std::string& text);
    void setAttribute(const std::string& name, std::uint32_t number);

    // Creates the file and writes its header. False when profile or input are missing or the
    // file, encoder or converter cannot be set up; nothing is left open then (the caller
    // removes a file that was created).
    bool beginWriting(const std::string& path);
    // One sample of whole input frames, presented at `time` (100-ns units). False when not
    // writing, the bytes are not whole frames, the time lies before the previous sample's, or
    // the audio could not be encoded or written.
    bool writeSample(std::span<const std::uint8_t> pcm, std::uint64_t time);
    // Encodes what is buffered, finishes the file and writes the attributes. False when the
    // audio could not all be written.
    bool endWriting();
    // Abandons the file as it is and forgets profile, input and attributes.
    void release();

    bool isWriting() const;

private:
    struct Attribute {
        std::string name;
        std::string text;
        std::uint32_t number = 0;
        bool isNumber = false;
    };
    void closeContexts();
    bool openEncoder();
    bool openFile(const std::string& path);
    bool openConverter();
    // Converted samples into the FIFO; input may be null to drain the converter.
    bool convert(const std::uint8_t* input, int frames);
    // Encodes every whole codec frame waiting; with `all`, the rest too, padded with silence.
    bool encodeWaiting(bool all);
    bool encodeFrame(int samples);
    bool sendToEncoder(const AVFrame* frame);
    bool writeAttributes() const;
    // The real file size, the creation time and a fresh File ID, once the header is final.
    bool stampFileProperties() const;

    WmfMediaType m_format;
    std::uint32_t m_bitRate = 0;
    int m_inRate = 0;
    int m_inBits = 0;
    int m_inChannels = 0;
    std::vector<Attribute> m_attributes;

    std::string m_path;
    OutputContextHandle m_file;
    CodecContextHandle m_encoder;
    ResamplerHandle m_converter;
    AudioFifoHandle m_fifo;
    FrameHandle m_frame;
    PacketHandle m_packet;
    std::vector<float> m_converted[2]; // one conversion's output, per codec channel
    std::int64_t m_samplesEncoded = 0; // codec-rate samples handed to the encoder
    std::uint64_t m_lastTime = 0;
    std::uint64_t m_creationTime = 0; // 100-ns units since 1601, when writing began
    bool m_anySample = false;
};

} // namespace velmora
