#include "engine/conversion_settings.h"

#include "platform/ascii_case.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace velmora {
namespace {

using Settings = ConversionSettings;
using ValueType = RegistryStore::ValueType;

constexpr int kFormatAndPage = Settings::kSaveFormatAndPage;
constexpr int kFolder = Settings::kSaveFolder;
constexpr int kOptions = Settings::kSaveOptions;

// Corrections applied right after a value is read, for values that older versions or hand
// edits can leave out of range.
int mp3ChannelMode(int value) {
    return (value == 0 || value == 1 || value == 3 || value == 4) ? value : 1;
}
int channelsOrSource(int value) {
    return (value >= 0 && value <= 2) ? value : 2;
}
int wmaChannels(int value) {
    return (value == 1 || value == 2) ? value : 2;
}
int tagType(int value) {
    return (value >= 0 && value <= 2) ? value : 2;
}
// A bit rate stored in bit/s is taken as kbit/s.
int kbitRate(int value) {
    return value > 1000 ? value / 1000 : value;
}
// Percent.
int amplifyCoefficient(int value) {
    return std::clamp(value, 10, 3000);
}

struct Field {
    std::string_view name;
    int Settings::*number;
    std::string Settings::*text;
    int group;
    int (*correct)(int);
};

constexpr Field dword(std::string_view name, int Settings::*member, int group,
                      int (*correct)(int) = nullptr) {
    return {name, member, nullptr, group, correct};
}
constexpr Field sz(std::string_view name, std::string Settings::*member, int group) {
    return {name, nullptr, member, group, nullptr};
}

// The values of the "Options" key in the order the original program reads them; the group
// 0x08 saves them in this order too.
constexpr std::array kFields = {
    sz("Folder", &Settings::Folder, kFolder),
    dword("DestOutputFolderOpt", &Settings::DestOutputFolderOpt, kOptions),
    sz("DestSpecifiedFolder", &Settings::DestSpecifiedFolder, kOptions),
    dword("CreateDirs", &Settings::CreateDirs, kOptions),
    dword("BrowseOutputFolder", &Settings::BrowseOutputFolder, kOptions),
    dword("OutputFiles2MyDocuments", &Settings::OutputFiles2MyDocuments, kOptions),
    dword("TargetExistsOpt", &Settings::TargetExistsOpt, kOptions),
    dword("MonoType", &Settings::MonoType, kOptions),
    dword("EnableExtFilter", &Settings::EnableExtFilter, kOptions),
    sz("FilterExts", &Settings::FilterExts, kOptions),
    dword("OutputFormat", &Settings::OutputFormat, kFormatAndPage),

    dword("AutoDestMP3EncodingParam", &Settings::AutoDestMP3EncodingParam, kOptions),
    dword("MP3BitRate", &Settings::MP3BitRate, kOptions),
    dword("MP3SampleRate", &Settings::MP3SampleRate, kOptions),
    dword("MP3ChannelMode", &Settings::MP3ChannelMode, kOptions, mp3ChannelMode),

    dword("AutoDestWAVEncodingParam", &Settings::AutoDestWAVEncodingParam, kOptions),
    dword("WAVSampleRate", &Settings::WAVSampleRate, kOptions),
    dword("WAVChannelNum", &Settings::WAVChannelNum, kOptions, channelsOrSource),
    dword("WAVBitsPerSample", &Settings::WAVBitsPerSample, kOptions),

    dword("AutoDestWMAEncodingParam", &Settings::AutoDestWMAEncodingParam, kOptions),
    dword("WMABitRate", &Settings::WMABitRate, kOptions),
    dword("WMASampleRate", &Settings::WMASampleRate, kOptions),
    dword("WMAChannels", &Settings::WMAChannels, kOptions, wmaChannels),
    dword("WMAID3TagType", &Settings::WMAID3TagType, kOptions, tagType),
    dword("AmplifyWMA", &Settings::AmplifyWMA, kOptions),
    dword("AmplifyWMACoeff", &Settings::AmplifyWMACoeff, kOptions, amplifyCoefficient),

    dword("AutoDestOGGEncodingParam", &Settings::AutoDestOGGEncodingParam, kOptions),
    dword("OGGBitRate", &Settings::OGGBitRate, kOptions, kbitRate),
    dword("OGGSampleRate", &Settings::OGGSampleRate, kOptions),
    dword("OGGChannels", &Settings::OGGChannels, kOptions, channelsOrSource),
    dword("OGGID3TagType", &Settings::OGGID3TagType, kOptions),
    dword("AmplifyOGG", &Settings::AmplifyOGG, kOptions),
    dword("AmplifyOGGCoeff", &Settings::AmplifyOGGCoeff, kOptions, amplifyCoefficient),

    dword("AutoDestAACEncodingParam", &Settings::AutoDestAACEncodingParam, kOptions),
    dword("AACVBR", &Settings::AACVBR, kOptions),
    dword("AACVBRQuality", &Settings::AACVBRQuality, kOptions),
    dword("AACABRBitRate", &Settings::AACABRBitRate, kOptions),
    dword("AACMpegVersion", &Settings::AACMpegVersion, kOptions),
    dword("AACEnableTNS", &Settings::AACEnableTNS, kOptions),
    dword("AACEnableMidside", &Settings::AACEnableMidside, kOptions),
    dword("AACBlockType", &Settings::AACBlockType, kOptions),
    dword("AmplifyAAC", &Settings::AmplifyAAC, kOptions),
    dword("AmplifyAACCoef", &Settings::AmplifyAACCoef, kOptions),

    dword("AutoDestM4AEncodingParam", &Settings::AutoDestM4AEncodingParam, kOptions),
    dword("M4AVBR", &Settings::M4AVBR, kOptions),
    dword("M4AVBRQuality", &Settings::M4AVBRQuality, kOptions),
    dword("M4AABRBitRate", &Settings::M4AABRBitRate, kOptions),
    dword("M4AEnableTNS", &Settings::M4AEnableTNS, kOptions),
    dword("M4AEnableMidside", &Settings::M4AEnableMidside, kOptions),
    dword("M4ABlockType", &Settings::M4ABlockType, kOptions),
    dword("M4AID3TagType", &Settings::M4AID3TagType, kOptions, tagType),
    dword("AmplifyM4A", &Settings::AmplifyM4A, kOptions),
    dword("AmplifyM4ACoef", &Settings::AmplifyM4ACoef, kOptions),

    dword("AMRType", &Settings::AMRType, kOptions),
    dword("AMRMode", &Settings::AMRMode, kOptions),
    dword("AMRWBMode", &Settings::AMRWBMode, kOptions),
    dword("AMRDTX", &Settings::AMRDTX, kOptions),
    dword("AWBMode", &Settings::AWBMode, kOptions),
    dword("AWBDTX", &Settings::AWBDTX, kOptions),
    dword("AmplifyAMR", &Settings::AmplifyAMR, kOptions),
    dword("AmplifyAMRCoef", &Settings::AmplifyAMRCoef, kOptions),

    dword("MP3ID3TagType", &Settings::MP3ID3TagType, kOptions),
    dword("MP3WriteID3Version", &Settings::MP3WriteID3Version, kOptions),
    dword("AmplifyMp3", &Settings::AmplifyMp3, kOptions),
    dword("AmplifyMp3Coeff", &Settings::AmplifyMp3Coeff, kOptions, amplifyCoefficient),
    dword("AmplifyWav", &Settings::AmplifyWav, kOptions),
    dword("AmplifyWavCoeff", &Settings::AmplifyWavCoeff, kOptions, amplifyCoefficient),
    dword("OptStartPageIndex", &Settings::OptStartPageIndex, kFormatAndPage),
};

// The extension filter is rebuilt right after this value is read, before the rest is read.
constexpr std::string_view kFilterExtsName = "FilterExts";

struct Preset {
    std::string_view word;
    TagPreset Settings::*member;
};

constexpr std::array<Preset, 4> kPresets = {{
    {"MP3", &Settings::MP3Tag},
    {"OGG", &Settings::OGGTag},
    {"WMA", &Settings::WMATag},
    {"M4A", &Settings::M4ATag},
}};

constexpr std::string_view kPresetSuffix = "Tag";

std::optional<int> parseDword(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A value addressed by name: either a field of the "Options" key or one of a tag preset.
struct Target {
    const Field* field = nullptr;
    const Preset* preset = nullptr;
    const TagPreset::Field* presetField = nullptr;
};

std::optional<Target> findTarget(std::string_view name) {
    for (const Field& field : kFields)
        if (equalsIgnoringAsciiCase(field.name, name))
            return Target{&field, nullptr, nullptr};
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    const std::string_view subkey = name.substr(0, dot);
    const std::string_view valueName = name.substr(dot + 1);
    for (const Preset& preset : kPresets) {
        if (!equalsIgnoringAsciiCase(subkey, std::string(preset.word) + std::string(kPresetSuffix)))
            continue;
        for (const TagPreset::Field& field : TagPreset::fields())
            if (equalsIgnoringAsciiCase(field.name, valueName))
                return Target{nullptr, &preset, &field};
    }
    return std::nullopt;
}

Settings::NamedValue describe(const Settings& settings, const Target& target) {
    if (target.field) {
        const Field& field = *target.field;
        if (field.number)
            return {std::string(field.name), ValueType::Dword,
                    std::to_string(settings.*field.number)};
        return {std::string(field.name), ValueType::Sz, settings.*field.text};
    }
    const TagPreset& preset = settings.*target.preset->member;
    const TagPreset::Field& field = *target.presetField;
    std::string name = std::string(target.preset->word) + std::string(kPresetSuffix) + "." +
                       std::string(field.name);
    if (field.number)
        return {std::move(name), ValueType::Dword, std::to_string(preset.*field.number)};
    return {std::move(name), ValueType::Sz, preset.*field.text};
}

} // namespace

ConversionSettings::ConversionSettings() : ConversionSettings(UserFolders::documentsFolder()) {}

ConversionSettings::ConversionSettings(const std::string& documentsFolder) {
    if (!documentsFolder.empty()) {
        DestOutputFolderOpt = kCustomFolder;
        DestSpecifiedFolder = documentsFolder;
    }
}

void ConversionSettings::rebuildExtensionFilter() {
    extensionFilter.clear();
    if (!EnableExtFilter)
        return;
    const std::string lower = lowerCaseAscii(FilterExts);
    // Every piece counts, empty ones too: an empty piece lets names without "." through.
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = lower.find(',', start);
        if (comma == std::string::npos) {
            extensionFilter.push_back(lower.substr(start));
            break;
        }
        extensionFilter.push_back(lower.substr(start, comma - start));
        start = comma + 1;
    }
}

bool ConversionSettings::load(const RegistryStore& store) {
    const RegistryStore::Snapshot snapshot = store.load();
    const RegistryStore::Key* options = snapshot.key(kOptionsKey);
    if (!options) {
        rebuildExtensionFilter();
        return false;
    }
    // The stored type is checked: a value of the other type counts as missing, as the bytes of
    // a text are no number (and the reverse).
    for (const Field& field : kFields) {
        if (field.number) {
            if (const auto value = options->dword(field.name))
                this->*field.number = field.correct ? field.correct(*value) : *value;
        } else if (auto text = options->text(field.name)) {
            this->*field.text = std::move(*text);
        }
        if (field.name == kFilterExtsName)
            rebuildExtensionFilter();
    }
    for (const Preset& preset : kPresets)
        if (const RegistryStore::Key* key = snapshot.key(tagKeyPath(preset.word)))
            readTagPreset(this->*preset.member, *key);
    return true;
}

bool ConversionSettings::save(int groups, const RegistryStore& store) const {
    RegistryStore::Transaction transaction;
    for (const Field& field : kFields) {
        if (!(field.group & groups))
            continue;
        if (field.number)
            transaction.setDword(kOptionsKey, field.name, this->*field.number);
        else
            transaction.setText(kOptionsKey, field.name, this->*field.text);
    }
    if (groups & kSaveOptions)
        for (const Preset& preset : kPresets)
            addTagPreset(transaction, this->*preset.member, preset.word);
    return store.commit(transaction);
}

std::string ConversionSettings::tagKeyPath(std::string_view word) {
    return std::string(kOptionsKey) + "\\" + std::string(word) + std::string(kPresetSuffix);
}

void ConversionSettings::readTagPreset(TagPreset& preset, const RegistryStore::Key& key) {
    // Texts first, then the numbers, as the original reads them. A text that is missing,
    // empty or not a text becomes "", while a missing number keeps what was there.
    for (const TagPreset::Field& field : TagPreset::fields())
        if (field.text)
            preset.*field.text = key.text(field.name).value_or(std::string());
    for (const TagPreset::Field& field : TagPreset::fields())
        if (field.number)
            if (const auto value = key.dword(field.name))
                preset.*field.number = *value;
}

void ConversionSettings::addTagPreset(RegistryStore::Transaction& transaction,
                                      const TagPreset& preset, std::string_view word) {
    const std::string path = tagKeyPath(word);
    for (const TagPreset::Field& field : TagPreset::fields()) {
        if (field.number)
            transaction.setDword(path, field.name, preset.*field.number);
        else
            transaction.setText(path, field.name, preset.*field.text);
    }
}

bool ConversionSettings::loadTagPreset(TagPreset& preset, std::string_view word,
                                       const RegistryStore& store) {
    const RegistryStore::Snapshot snapshot = store.load();
    const RegistryStore::Key* key = snapshot.key(tagKeyPath(word));
    if (!key)
        return false;
    readTagPreset(preset, *key);
    return true;
}

bool ConversionSettings::saveTagPreset(const TagPreset& preset, std::string_view word,
                                       const RegistryStore& store) {
    RegistryStore::Transaction transaction;
    addTagPreset(transaction, preset, word);
    return store.commit(transaction);
}

std::vector<ConversionSettings::NamedValue> ConversionSettings::listValues() const {
    std::vector<NamedValue> values;
    for (const Field& field : kFields)
        values.push_back(describe(*this, Target{&field, nullptr, nullptr}));
    for (const Preset& preset : kPresets)
        for (const TagPreset::Field& field : TagPreset::fields())
            values.push_back(describe(*this, Target{nullptr, &preset, &field}));
    return values;
}

std::optional<ConversionSettings::NamedValue>
ConversionSettings::getValue(std::string_view name) const {
    const auto target = findTarget(name);
    if (!target)
        return std::nullopt;
    return describe(*this, *target);
}

ConversionSettings::SetResult ConversionSettings::setValue(std::string_view name,
                                                           std::string_view text) {
    const auto target = findTarget(name);
    if (!target)
        return SetResult::UnknownName;
    int* number = nullptr;
    std::string* textField = nullptr;
    int (*correct)(int) = nullptr;
    if (target->field) {
        correct = target->field->correct;
        if (target->field->number)
            number = &(this->*target->field->number);
        else
            textField = &(this->*target->field->text);
    } else {
        TagPreset& preset = this->*target->preset->member;
        if (target->presetField->number)
            number = &(preset.*target->presetField->number);
        else
            textField = &(preset.*target->presetField->text);
    }
    if (textField) {
        *textField = std::string(text);
    } else {
        const auto value = parseDword(text);
        if (!value || (correct && correct(*value) != *value))
            return SetResult::BadValue;
        *number = *value;
    }
    if (target->field &&
        (target->field->name == "EnableExtFilter" || target->field->name == kFilterExtsName))
        rebuildExtensionFilter();
    return SetResult::Ok;
}

bool ConversionSettings::saveValue(std::string_view name, const RegistryStore& store) const {
    const auto target = findTarget(name);
    if (!target)
        return false;
    RegistryStore::Transaction transaction;
    if (target->field) {
        const Field& field = *target->field;
        if (field.number)
            transaction.setDword(kOptionsKey, field.name, this->*field.number);
        else
            transaction.setText(kOptionsKey, field.name, this->*field.text);
    } else {
        const TagPreset& preset = this->*target->preset->member;
        const TagPreset::Field& field = *target->presetField;
        const std::string path = tagKeyPath(target->preset->word);
        if (field.number)
            transaction.setDword(path, field.name, preset.*field.number);
        else
            transaction.setText(path, field.name, preset.*field.text);
    }
    return store.commit(transaction);
}

TagPreset* ConversionSettings::tagPreset(std::string_view word) {
    for (const Preset& preset : kPresets)
        if (equalsIgnoringAsciiCase(preset.word, word))
            return &(this->*preset.member);
    return nullptr;
}

const TagPreset* ConversionSettings::tagPreset(std::string_view word) const {
    for (const Preset& preset : kPresets)
        if (equalsIgnoringAsciiCase(preset.word, word))
            return &(this->*preset.member);
    return nullptr;
}

} // namespace velmora
