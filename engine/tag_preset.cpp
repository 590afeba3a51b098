#include "engine/tag_preset.h"

#include <array>

namespace velmora {
namespace {

constexpr std::array<TagPreset::Field, 11> kFields = {{
    {"TitleAsFileName", &TagPreset::TitleAsFileName, nullptr},
    {"Title", nullptr, &TagPreset::Title},
    {"Artist", nullptr, &TagPreset::Artist},
    {"Album", nullptr, &TagPreset::Album},
    {"Year", nullptr, &TagPreset::Year},
    {"Genre", nullptr, &TagPreset::Genre},
    {"Comment", nullptr, &TagPreset::Comment},
    {"Composer", nullptr, &TagPreset::Composer},
    {"Copyright", nullptr, &TagPreset::Copyright},
    {"TrackNumType", &TagPreset::TrackNumType, nullptr},
    {"CustomTrackNum", &TagPreset::CustomTrackNum, nullptr},
}};

} // namespace

std::span<const TagPreset::Field> TagPreset::fields() {
    return kFields;
}

} // namespace velmora
