#include "sources/source_factory.h"
#include "sources/source_kind.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct KindCase {
    const char* path;
    SourceKind kind;
};

class SourceKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(SourceKindTest, ExtensionSelectsKind) {
    EXPECT_EQ(code(sourceKindForPath(GetParam().path)), code(GetParam().kind)) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SourceKindTest,
    ::testing::Values(
        KindCase{"/m/a.mp3", SourceKind::MpegAudio}, KindCase{"/m/SONG.MP3", SourceKind::MpegAudio},
        KindCase{"/m/a.Wave", SourceKind::Wav}, KindCase{"/m/a.mo3", SourceKind::Module},
        KindCase{"/m/a.kar", SourceKind::Midi}, KindCase{"/m/a.cda", SourceKind::CdAudio},
        KindCase{"/m/a.fla", SourceKind::Flac}, KindCase{"/m/a.wv", SourceKind::WavPack},
        KindCase{"/m/a.mp+", SourceKind::Musepack}, KindCase{"/m/a.ogv", SourceKind::Ogg},
        KindCase{"/m/a.snd", SourceKind::Au}, KindCase{"/m/a.afc", SourceKind::Aiff},
        KindCase{"/m/a.m4b", SourceKind::Mpeg4Audio}, KindCase{"/m/a.m4v", SourceKind::Mpeg4},
        KindCase{"/m/a.xwmv", SourceKind::WindowsMedia}, KindCase{"/m/a.flv", SourceKind::Other},
        // The extension is taken from the file name only, never from a folder.
        KindCase{"/m/folder.mp3/README", SourceKind::Other},
        KindCase{"/m/noextension", SourceKind::Other},
        KindCase{"/m/archive.tar.wav", SourceKind::Wav}));

TEST(SourceFactoryChains, FollowTheDecoderOrderOfEachKind) {
    using enum DecoderId;
    const auto chain = [](SourceKind kind) {
        const auto span = SourceFactory::chainFor(kind);
        return std::vector<DecoderId>(span.begin(), span.end());
    };
    EXPECT_EQ(chain(SourceKind::Wav), (std::vector{Bass, Ffmpeg, Wav}));
    EXPECT_EQ(chain(SourceKind::MpegAudio), (std::vector{Bass, Ffmpeg}));
    EXPECT_EQ(chain(SourceKind::Mpeg4), (std::vector{Bass, Ffmpeg}));
    EXPECT_EQ(chain(SourceKind::Speex), (std::vector{Ffmpeg, Bass}));
    EXPECT_EQ(chain(SourceKind::Ogg), (std::vector{Ogg, Bass, Ffmpeg}));
    EXPECT_EQ(chain(SourceKind::Au), (std::vector{Au, Ffmpeg}));
    EXPECT_EQ(chain(SourceKind::Aiff), (std::vector{Aiff, Bass, Ffmpeg}));
    EXPECT_EQ(chain(SourceKind::WindowsMedia), (std::vector{WindowsMedia, Ffmpeg}));
    EXPECT_EQ(chain(SourceKind::Other), (std::vector{Ffmpeg}));
}

TEST(SourceFactoryChains, DecoderNamesRoundTrip) {
    for (const char* name : {"bass", "ffmpeg", "wav", "aiff", "au", "ogg", "wma"}) {
        const auto id = decoderFromName(name);
        ASSERT_TRUE(id.has_value()) << name;
        EXPECT_EQ(decoderName(*id), name);
    }
    EXPECT_FALSE(decoderFromName("WAV").has_value());
}

} // namespace
} // namespace velmora
