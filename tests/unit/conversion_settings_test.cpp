#include "engine/conversion_settings.h"
#include "platform/user_folders.h"
#include "tests/unit/test_support.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Settings = ConversionSettings;
using ValueType = RegistryStore::ValueType;

constexpr std::string_view kOptions = "Software\\Ostrane Velmora\\Options";

std::string readText(const fs::path& file) {
    const auto bytes = test::readFileBytes(file);
    return {bytes.begin(), bytes.end()};
}

void writeText(const fs::path& file, std::string_view text) {
    test::writeFileBytes(file, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Every value of the "Options" key with its field, written out here independently of the
// program's own table so that a name bound to the wrong field shows.
struct NumberField {
    std::string_view name;
    int Settings::*member;
    int defaultValue;
};

const std::vector<NumberField>& numberFields() {
    static const std::vector<NumberField> fields = {
        {"OutputFormat", &Settings::OutputFormat, 1000},
        {"OptStartPageIndex", &Settings::OptStartPageIndex, 0},
        {"DestOutputFolderOpt", &Settings::DestOutputFolderOpt, 199},
        {"CreateDirs", &Settings::CreateDirs, 0},
        {"TargetExistsOpt", &Settings::TargetExistsOpt, 11},
        {"OutputFiles2MyDocuments", &Settings::OutputFiles2MyDocuments, 1},
        {"BrowseOutputFolder", &Settings::BrowseOutputFolder, 1},
        {"MonoType", &Settings::MonoType, 0},
        {"EnableExtFilter", &Settings::EnableExtFilter, 0},
        {"AutoDestMP3EncodingParam", &Settings::AutoDestMP3EncodingParam, 1},
        {"MP3BitRate", &Settings::MP3BitRate, 128},
        {"MP3SampleRate", &Settings::MP3SampleRate, 44100},
        {"MP3ChannelMode", &Settings::MP3ChannelMode, 1},
        {"MP3ID3TagType", &Settings::MP3ID3TagType, 1},
        {"MP3WriteID3Version", &Settings::MP3WriteID3Version, 1},
        {"AmplifyMp3", &Settings::AmplifyMp3, 0},
        {"AmplifyMp3Coeff", &Settings::AmplifyMp3Coeff, 100},
        {"AutoDestWAVEncodingParam", &Settings::AutoDestWAVEncodingParam, 1},
        {"WAVSampleRate", &Settings::WAVSampleRate, 44100},
        {"WAVChannelNum", &Settings::WAVChannelNum, 2},
        {"WAVBitsPerSample", &Settings::WAVBitsPerSample, 16},
        {"AmplifyWav", &Settings::AmplifyWav, 0},
        {"AmplifyWavCoeff", &Settings::AmplifyWavCoeff, 100},
        {"AutoDestWMAEncodingParam", &Settings::AutoDestWMAEncodingParam, 1},
        {"WMABitRate", &Settings::WMABitRate, 128000},
        {"WMASampleRate", &Settings::WMASampleRate, 44100},
        {"WMAChannels", &Settings::WMAChannels, 2},
        {"WMAID3TagType", &Settings::WMAID3TagType, 1},
        {"AmplifyWMA", &Settings::AmplifyWMA, 0},
        {"AmplifyWMACoeff", &Settings::AmplifyWMACoeff, 100},
        {"AutoDestOGGEncodingParam", &Settings::AutoDestOGGEncodingParam, 1},
        {"OGGBitRate", &Settings::OGGBitRate, 128},
        {"OGGSampleRate", &Settings::OGGSampleRate, 44100},
        {"OGGChannels", &Settings::OGGChannels, 2},
        {"OGGID3TagType", &Settings::OGGID3TagType, 1},
        {"AmplifyOGG", &Settings::AmplifyOGG, 0},
        {"AmplifyOGGCoeff", &Settings::AmplifyOGGCoeff, 100},
        {"AutoDestAACEncodingParam", &Settings::AutoDestAACEncodingParam, 1},
        {"AACVBR", &Settings::AACVBR, 1},
        {"AACVBRQuality", &Settings::AACVBRQuality, 100},
        {"AACABRBitRate", &Settings::AACABRBitRate, 128},
        {"AACMpegVersion", &Settings::AACMpegVersion, 0},
        {"AACEnableTNS", &Settings::AACEnableTNS, 0},
        {"AACEnableMidside", &Settings::AACEnableMidside, 1},
        {"AACBlockType", &Settings::AACBlockType, 0},
        {"AmplifyAAC", &Settings::AmplifyAAC, 0},
        {"AmplifyAACCoef", &Settings::AmplifyAACCoef, 100},
        {"AutoDestM4AEncodingParam", &Settings::AutoDestM4AEncodingParam, 1},
        {"M4AVBR", &Settings::M4AVBR, 1},
        {"M4AVBRQuality", &Settings::M4AVBRQuality, 100},
        {"M4AABRBitRate", &Settings::M4AABRBitRate, 128},
        {"M4AEnableTNS", &Settings::M4AEnableTNS, 0},
        {"M4AEnableMidside", &Settings::M4AEnableMidside, 1},
        {"M4ABlockType", &Settings::M4ABlockType, 0},
        {"M4AID3TagType", &Settings::M4AID3TagType, 1},
        {"AmplifyM4A", &Settings::AmplifyM4A, 0},
        {"AmplifyM4ACoef", &Settings::AmplifyM4ACoef, 100},
        {"AMRType", &Settings::AMRType, 0},
        {"AMRMode", &Settings::AMRMode, 6},
        {"AMRWBMode", &Settings::AMRWBMode, 6},
        {"AMRDTX", &Settings::AMRDTX, 0},
        {"AWBMode", &Settings::AWBMode, 6},
        {"AWBDTX", &Settings::AWBDTX, 0},
        {"AmplifyAMR", &Settings::AmplifyAMR, 0},
        {"AmplifyAMRCoef", &Settings::AmplifyAMRCoef, 100},
    };
    return fields;
}

struct TextField {
    std::string_view name;
    std::string Settings::*member;
};

const std::vector<TextField> kTextFields = {
    {"Folder", &Settings::Folder},
    {"DestSpecifiedFolder", &Settings::DestSpecifiedFolder},
    {"FilterExts", &Settings::FilterExts},
};

// A value every load correction leaves as it is, different from the default and unique.
int validNonDefault(std::string_view name, std::size_t index) {
    static const std::map<std::string_view, int> kRestricted = {
        {"MP3ChannelMode", 3},   {"WAVChannelNum", 0},      {"OGGChannels", 1},
        {"WMAChannels", 1},      {"WMAID3TagType", 0},      {"M4AID3TagType", 0},
        {"OGGBitRate", 320},     {"AmplifyMp3Coeff", 2500}, {"AmplifyWavCoeff", 2600},
        {"AmplifyWMACoeff", 10}, {"AmplifyOGGCoeff", 3000},
    };
    const auto found = kRestricted.find(name);
    return found != kRestricted.end() ? found->second : 5000 + static_cast<int>(index);
}

// Settings whose every persisted value differs from its default.
Settings changedSettings() {
    Settings settings("");
    const auto& numbers = numberFields();
    for (std::size_t i = 0; i < numbers.size(); ++i)
        settings.*numbers[i].member = validNonDefault(numbers[i].name, i);
    settings.Folder = "/music/in/";
    settings.DestSpecifiedFolder = "/music/out \"quoted\" \\ ü/";
    settings.FilterExts = "wav,MP3";
    int word = 0;
    for (TagPreset* preset :
         {&settings.MP3Tag, &settings.OGGTag, &settings.WMATag, &settings.M4ATag}) {
        const std::string tag = "tag" + std::to_string(++word);
        *preset = {0,        tag + " Title",   tag + " Ärtist", tag + " \"Album\"", "2024",
                   "Jpop",   tag + " C:\\x\\", tag + " 作曲",   tag + " ©",         2,
                   10 + word};
    }
    return settings;
}

class ConversionSettingsTest : public test::SandboxTest {
protected:
    fs::path storeFile() const { return path("config") / "velmora.reg"; }
    RegistryStore store() const { return RegistryStore(storeFile()); }

    void storeDwords(const std::vector<std::pair<std::string, int>>& values) const {
        RegistryStore::Transaction transaction;
        for (const auto& [name, value] : values)
            transaction.setDword(kOptions, name, value);
        ASSERT_TRUE(store().commit(transaction));
    }
};

TEST_F(ConversionSettingsTest, FirstStartUsesTheDefaultsAndTheDocumentsFolder) {
    ASSERT_FALSE(fs::exists(path("home") / "Documents"));
    Settings settings;
    const std::string documents = (path("home") / "Documents").string();
    EXPECT_TRUE(fs::is_directory(documents));
    EXPECT_EQ(settings.DestOutputFolderOpt, 399);
    EXPECT_EQ(settings.DestSpecifiedFolder, documents);

    EXPECT_FALSE(settings.load(store()));
    EXPECT_EQ(settings.DestOutputFolderOpt, 399);
    EXPECT_EQ(settings.DestSpecifiedFolder, documents);
    for (const NumberField& field : numberFields()) {
        if (field.name != "DestOutputFolderOpt") {
            EXPECT_EQ(settings.*field.member, field.defaultValue) << field.name;
        }
    }
    EXPECT_EQ(settings.Folder, "");
    EXPECT_EQ(settings.FilterExts, "");
    EXPECT_TRUE(settings.extensionFilter.empty());
    for (const TagPreset* preset :
         {&settings.MP3Tag, &settings.OGGTag, &settings.WMATag, &settings.M4ATag})
        EXPECT_EQ(*preset, (TagPreset{1, "", "", "", "", "", "", "", "", 0, 0}));
    // Loading creates nothing.
    EXPECT_FALSE(fs::exists(storeFile()));
}

TEST_F(ConversionSettingsTest, WithoutADocumentsFolderOutputGoesNextToTheSource) {
    const fs::path homeFile = path("home-is-a-file");
    writeText(homeFile, "not a folder");
    for (const std::string& home : {homeFile.string(), std::string("/proc/no-such-home")}) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        EXPECT_EQ(UserFolders::documentsFolder(), "") << home;
        const Settings settings;
        EXPECT_EQ(settings.DestOutputFolderOpt, 199) << home;
        EXPECT_EQ(settings.DestSpecifiedFolder, "") << home;
    }
}

TEST_F(ConversionSettingsTest, DocumentsFolderComesFromTheUserDirs) {
    const fs::path config = path("home") / ".config";
    fs::create_directories(config);
    struct Case {
        std::string userDirs;
        std::string expected; // relative to the sandbox
    };
    const std::vector<Case> cases = {
        {"XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n", "home/Papers"},
        {"# comment\nXDG_MUSIC_DIR=\"$HOME/Music\"\n  XDG_DOCUMENTS_DIR=\"$HOME/Docs/\"\n",
         "home/Docs"},
        {"XDG_DOCUMENTS_DIR=\"" + path("elsewhere").string() + "\"\n", "elsewhere"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/With \\\"Quote\\\"\"\n", "home/With \"Quote\""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/First\"\nXDG_DOCUMENTS_DIR=\"$HOME/Second\"\n", "home/Second"},
        // Not usable: the default applies.
        {"XDG_DOCUMENTS_DIR=\"relative/Docs\"\n", "home/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", "home/Documents"},
        {"XDG_DOCUMENTS_DIR=$HOME/unquoted\n", "home/Documents"},
        {"#XDG_DOCUMENTS_DIR=\"$HOME/Commented\"\n", "home/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK\"\n", "home/Documents"},
        {std::string("\0\xff garbage", 10), "home/Documents"},
    };
    for (const Case& c : cases) {
        writeText(config / "user-dirs.dirs", c.userDirs);
        const std::string expected = path(c.expected).string();
        EXPECT_EQ(UserFolders::documentsFolder(), expected) << c.userDirs;
        EXPECT_TRUE(fs::is_directory(expected)) << c.userDirs;
    }
    // The environment wins over the file.
    setenv("XDG_DOCUMENTS_DIR", path("from-env").c_str(), 1);
    EXPECT_EQ(UserFolders::documentsFolder(), path("from-env").string());
}

TEST_F(ConversionSettingsTest, LoadCorrectsOutOfRangeValues) {
    struct Case {
        std::string name;
        int stored;
        int loaded;
    };
    const std::vector<Case> cases = {
        {"OGGBitRate", 128000, 128},
        {"OGGBitRate", 1000, 1000},
        {"OGGBitRate", 1001, 1},
        {"OGGBitRate", 0, 0},
        {"AmplifyMp3Coeff", 5, 10},
        {"AmplifyMp3Coeff", 5000, 3000},
        {"AmplifyMp3Coeff", -7, 10},
        {"AmplifyMp3Coeff", 10, 10},
        {"AmplifyMp3Coeff", 3000, 3000},
        {"AmplifyWavCoeff", 9, 10},
        {"AmplifyWavCoeff", 3001, 3000},
        {"AmplifyWMACoeff", 0, 10},
        {"AmplifyWMACoeff", 99999, 3000},
        {"AmplifyOGGCoeff", 1, 10},
        {"AmplifyOGGCoeff", 4000, 3000},
        {"AmplifyAACCoef", 5, 5},
        {"AmplifyM4ACoef", 5000, 5000},
        {"AmplifyAMRCoef", -3, -3},
        {"MP3ChannelMode", 2, 1},
        {"MP3ChannelMode", 5, 1},
        {"MP3ChannelMode", -1, 1},
        {"MP3ChannelMode", 0, 0},
        {"MP3ChannelMode", 3, 3},
        {"MP3ChannelMode", 4, 4},
        {"WAVChannelNum", 3, 2},
        {"WAVChannelNum", -1, 2},
        {"WAVChannelNum", 0, 0},
        {"WAVChannelNum", 1, 1},
        {"OGGChannels", 7, 2},
        {"OGGChannels", -2, 2},
        {"OGGChannels", 0, 0},
        {"WMAChannels", 3, 2},
        {"WMAChannels", 0, 2},
        {"WMAChannels", 1, 1},
        {"WMAID3TagType", 7, 2},
        {"WMAID3TagType", -1, 2},
        {"WMAID3TagType", 0, 0},
        {"M4AID3TagType", 7, 2},
        {"M4AID3TagType", 1, 1},
        {"MP3ID3TagType", 7, 7},
        {"OGGID3TagType", 7, 7},
        {"MonoType", 9, 9},
    };
    for (const Case& c : cases) {
        fs::remove(storeFile());
        storeDwords({{c.name, c.stored}});
        Settings settings("");
        EXPECT_TRUE(settings.load(store()));
        EXPECT_EQ(settings.getValue(c.name)->value, std::to_string(c.loaded))
            << c.name << " stored as " << c.stored;
    }
}

TEST_F(ConversionSettingsTest, EveryNameReachesItsOwnField) {
    Settings settings("");
    const auto& numbers = numberFields();
    for (std::size_t i = 0; i < numbers.size(); ++i)
        settings.*numbers[i].member = 7000 + static_cast<int>(i);
    for (std::size_t i = 0; i < kTextFields.size(); ++i)
        settings.*kTextFields[i].member = "text " + std::to_string(i);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const auto value = settings.getValue(numbers[i].name);
        ASSERT_TRUE(value) << numbers[i].name;
        EXPECT_EQ(value->type, ValueType::Dword);
        EXPECT_EQ(value->value, std::to_string(7000 + i)) << numbers[i].name;
    }
    for (std::size_t i = 0; i < kTextFields.size(); ++i) {
        const auto value = settings.getValue(kTextFields[i].name);
        ASSERT_TRUE(value) << kTextFields[i].name;
        EXPECT_EQ(value->type, ValueType::Sz);
        EXPECT_EQ(value->value, "text " + std::to_string(i));
    }

    // The list holds exactly these names, then the eleven values of each preset.
    const auto listed = settings.listValues();
    ASSERT_EQ(listed.size(), numbers.size() + kTextFields.size() + 4 * 11);
    std::set<std::string> expectedNames;
    for (const NumberField& field : numbers)
        expectedNames.insert(std::string(field.name));
    for (const TextField& field : kTextFields)
        expectedNames.insert(std::string(field.name));
    for (const std::string family : {"MP3", "OGG", "WMA", "M4A"})
        for (const std::string name :
             {"TitleAsFileName", "Title", "Artist", "Album", "Year", "Genre", "Comment", "Composer",
              "Copyright", "TrackNumType", "CustomTrackNum"})
            expectedNames.insert(family + "Tag." + name);
    std::set<std::string> listedNames;
    for (const auto& value : listed)
        listedNames.insert(value.name);
    EXPECT_EQ(listedNames, expectedNames);
    EXPECT_EQ(listed.front().name, "Folder");
    EXPECT_EQ(listed[numbers.size() + kTextFields.size() - 1].name, "OptStartPageIndex");
    EXPECT_EQ(listed.back().name, "M4ATag.CustomTrackNum");
}

TEST_F(ConversionSettingsTest, SavedValuesLoadBackUnchanged) {
    const Settings saved = changedSettings();
    ASSERT_TRUE(saved.save(0x1C, store()));
    Settings loaded("");
    ASSERT_TRUE(loaded.load(store()));
    for (const NumberField& field : numberFields()) {
        EXPECT_EQ(loaded.*field.member, saved.*field.member) << field.name;
    }
    for (const TextField& field : kTextFields) {
        EXPECT_EQ(loaded.*field.member, saved.*field.member) << field.name;
    }
    EXPECT_EQ(loaded.MP3Tag, saved.MP3Tag);
    EXPECT_EQ(loaded.OGGTag, saved.OGGTag);
    EXPECT_EQ(loaded.WMATag, saved.WMATag);
    EXPECT_EQ(loaded.M4ATag, saved.M4ATag);
    EXPECT_EQ(loaded.listValues().size(), saved.listValues().size());

    // Numbers are written as dwords under their own names.
    const std::string file = readText(storeFile());
    EXPECT_NE(file.find("\"WMAChannels\"=dword:00000001\n"), std::string::npos);
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options\\M4ATag]\n"),
              std::string::npos);
}

TEST_F(ConversionSettingsTest, EachSaveGroupWritesOnlyItsValues) {
    std::set<std::string> allOptions;
    for (const NumberField& field : numberFields())
        allOptions.insert(std::string(field.name));
    for (const TextField& field : kTextFields)
        allOptions.insert(std::string(field.name));
    std::set<std::string> optionsGroup = allOptions;
    for (const std::string name : {"OutputFormat", "OptStartPageIndex", "Folder"})
        optionsGroup.erase(name);

    struct Case {
        int groups;
        std::set<std::string> written;
        bool presets;
    };
    const std::vector<Case> cases = {
        {0x10, {"OutputFormat", "OptStartPageIndex"}, false},
        {0x04, {"Folder"}, false},
        {0x08, optionsGroup, true},
        {0x1C, allOptions, true},
        {0x14, {"OutputFormat", "OptStartPageIndex", "Folder"}, false},
        {0x01, {}, false},
    };
    const Settings settings = changedSettings();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.groups);
        fs::remove(storeFile());
        // Values already in the file from elsewhere stay.
        storeDwords({{"FirstRun", 0}, {"MP3BitRate", 64}});
        ASSERT_TRUE(settings.save(c.groups, store()));

        const auto snapshot = store().load();
        const auto* options = snapshot.key(kOptions);
        ASSERT_NE(options, nullptr);
        std::set<std::string> present;
        for (const auto* value : options->values())
            present.insert(value->name);
        std::set<std::string> expected = c.written;
        expected.insert("FirstRun");
        expected.insert("MP3BitRate");
        EXPECT_EQ(present, expected);
        EXPECT_EQ(options->dword("FirstRun"), 0);
        EXPECT_EQ(options->dword("MP3BitRate"),
                  c.written.count("MP3BitRate") ? settings.MP3BitRate : 64);
        for (const std::string& name : c.written) {
            const auto value = settings.getValue(name);
            if (value->type == ValueType::Dword) {
                EXPECT_EQ(options->dword(name), std::stoi(value->value)) << name;
            } else {
                EXPECT_EQ(options->text(name), value->value) << name;
            }
        }
        for (const std::string family : {"MP3", "OGG", "WMA", "M4A"}) {
            const auto* key = snapshot.key(std::string(kOptions) + "\\" + family + "Tag");
            EXPECT_EQ(key != nullptr, c.presets) << family;
            if (key) {
                EXPECT_EQ(key->values().size(), 11u);
            }
        }
    }
}

TEST_F(ConversionSettingsTest, EmptyGroupSetWritesNothing) {
    const Settings settings = changedSettings();
    EXPECT_TRUE(settings.save(0, store()));
    EXPECT_FALSE(fs::exists(storeFile()));
    EXPECT_FALSE(fs::exists(path("config") / "velmora.reg.lock"));
}

TEST_F(ConversionSettingsTest, DefaultStoreIsTheConfigFolderFile) {
    Settings settings("");
    settings.OutputFormat = 6800;
    ASSERT_TRUE(settings.save(0x10));
    Settings loaded("");
    EXPECT_TRUE(loaded.load());
    EXPECT_EQ(loaded.OutputFormat, 6800);
    EXPECT_NE(readText(storeFile()).find("\"OutputFormat\"=dword:00001a90"), std::string::npos);
}

TEST_F(ConversionSettingsTest, TagPresetTextsAndNumbers) {
    const std::string key = std::string(kOptions) + "\\MP3Tag";
    RegistryStore::Transaction transaction;
    transaction.setText(key, "Title", "");
    transaction.setText(key, "Artist", "Someone");
    transaction.setDword(key, "Album", 5); // a number where a text belongs
    transaction.setDword(key, "TrackNumType", 2);
    ASSERT_TRUE(store().commit(transaction));

    TagPreset preset{0, "old title", "old artist", "old album", "old year", "", "", "", "", 1, 9};
    EXPECT_TRUE(Settings::loadTagPreset(preset, "MP3", store()));
    // Texts that are empty, missing or not texts become empty; missing numbers stay.
    EXPECT_EQ(preset, (TagPreset{0, "", "Someone", "", "", "", "", "", "", 2, 9}));

    // A missing subkey leaves the preset as it was.
    const TagPreset before{0, "keep", "keep", "", "", "", "", "", "", 1, 3};
    TagPreset untouched = before;
    EXPECT_FALSE(Settings::loadTagPreset(untouched, "OGG", store()));
    EXPECT_EQ(untouched, before);
    Settings settings("");
    settings.OGGTag = before;
    settings.load(store());
    EXPECT_EQ(settings.OGGTag, before);
    EXPECT_EQ(settings.MP3Tag.Artist, "Someone");
}

TEST_F(ConversionSettingsTest, TagPresetRoundTripKeepsEveryCharacter) {
    const TagPreset preset{
        0,          "Tïtle \"quoted\"",        "Ärtist\\back\\slash\\", "東京 album 🎵", "1999",
        "Synthpop", "line one\nline two\ttab", "Composer \"C\" \\ ",    "© 2024",       2,
        -4};
    ASSERT_TRUE(Settings::saveTagPreset(preset, "WMA", store()));
    TagPreset loaded;
    ASSERT_TRUE(Settings::loadTagPreset(loaded, "WMA", store()));
    EXPECT_EQ(loaded, preset);
    EXPECT_NE(readText(storeFile())
                  .find("[HKEY_CURRENT_USER\\Software\\Ostrane "
                        "Velmora\\Options\\WMATag]"),
              std::string::npos);
}

TEST_F(ConversionSettingsTest, ValueOfTheWrongTypeKeepsTheDefault) {
    RegistryStore::Transaction transaction;
    transaction.setText(kOptions, "MP3BitRate", "192");
    transaction.setDword(kOptions, "Folder", 3);
    transaction.setDword(kOptions, "MP3SampleRate", 22050);
    ASSERT_TRUE(store().commit(transaction));
    Settings settings("");
    settings.Folder = "/kept/";
    ASSERT_TRUE(settings.load(store()));
    EXPECT_EQ(settings.MP3BitRate, 128);
    EXPECT_EQ(settings.Folder, "/kept/");
    EXPECT_EQ(settings.MP3SampleRate, 22050);
}

TEST_F(ConversionSettingsTest, ExtensionFilterIsRebuiltFromTheOptions) {
    struct Case {
        int enable;
        std::string exts;
        std::vector<std::string> filter;
    };
    const std::vector<Case> cases = {
        {1, "wav,MP3,m4a,aac", {"wav", "mp3", "m4a", "aac"}},
        {1, "mp3,,wav", {"mp3", "", "wav"}},
        {1, "mp3,", {"mp3", ""}},
        {1, ",", {"", ""}},
        {1, "", {""}},
        {1, "OGG", {"ogg"}},
        {1, " mp3", {" mp3"}},
        {0, "wav,mp3", {}},
        {5, "Wav", {"wav"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exts);
        fs::remove(storeFile());
        RegistryStore::Transaction transaction;
        transaction.setDword(kOptions, "EnableExtFilter", c.enable);
        transaction.setText(kOptions, "FilterExts", c.exts);
        ASSERT_TRUE(store().commit(transaction));
        Settings loaded("");
        loaded.extensionFilter = {"stale"};
        loaded.load(store());
        EXPECT_EQ(loaded.extensionFilter, c.filter);

        Settings changed("");
        changed.EnableExtFilter = c.enable;
        changed.FilterExts = c.exts;
        changed.rebuildExtensionFilter();
        EXPECT_EQ(changed.extensionFilter, c.filter);
    }
    // Switching the filter off empties the list.
    Settings settings("");
    settings.EnableExtFilter = 1;
    settings.FilterExts = "mp3";
    settings.rebuildExtensionFilter();
    settings.EnableExtFilter = 0;
    settings.rebuildExtensionFilter();
    EXPECT_TRUE(settings.extensionFilter.empty());
}

TEST_F(ConversionSettingsTest, SetValueByName) {
    using Result = Settings::SetResult;
    struct Case {
        std::string name;
        std::string text;
        Result result;
        std::string shownName; // the name getValue reports after success
        std::string value;
    };
    const std::vector<Case> cases = {
        {"MP3BitRate", "192", Result::Ok, "MP3BitRate", "192"},
        {"mp3bitrate", "256", Result::Ok, "MP3BitRate", "256"},
        {"MonoType", "-5", Result::Ok, "MonoType", "-5"},
        {"AmplifyAACCoef", "5", Result::Ok, "AmplifyAACCoef", "5"},
        {"MP3ChannelMode", "4", Result::Ok, "MP3ChannelMode", "4"},
        {"WMABitRate", "2147483647", Result::Ok, "WMABitRate", "2147483647"},
        {"Folder", "/a \"b\"/", Result::Ok, "Folder", "/a \"b\"/"},
        {"FilterExts", "", Result::Ok, "FilterExts", ""},
        {"MP3Tag.Artist", "Ünïcode", Result::Ok, "MP3Tag.Artist", "Ünïcode"},
        {"oggtag.customtracknum", "7", Result::Ok, "OGGTag.CustomTrackNum", "7"},
        {"M4ATag.TitleAsFileName", "0", Result::Ok, "M4ATag.TitleAsFileName", "0"},
        {"MP3BitRate", "abc", Result::BadValue, "", ""},
        {"MP3BitRate", "", Result::BadValue, "", ""},
        {"MP3BitRate", " 192", Result::BadValue, "", ""},
        {"MP3BitRate", "192k", Result::BadValue, "", ""},
        {"MP3BitRate", "2147483648", Result::BadValue, "", ""},
        {"MP3ChannelMode", "2", Result::BadValue, "", ""},
        {"AmplifyMp3Coeff", "5", Result::BadValue, "", ""},
        {"OGGBitRate", "128000", Result::BadValue, "", ""},
        {"WAVChannelNum", "3", Result::BadValue, "", ""},
        {"MP3Tag.TrackNumType", "x", Result::BadValue, "", ""},
        {"NoSuchValue", "1", Result::UnknownName, "", ""},
        {"MP3Tag", "1", Result::UnknownName, "", ""},
        {"MP3Tag.", "1", Result::UnknownName, "", ""},
        {"XYZTag.Artist", "1", Result::UnknownName, "", ""},
        {"MP3Tag.Nope", "1", Result::UnknownName, "", ""},
        {"MP3.Artist", "1", Result::UnknownName, "", ""},
        {".Artist", "1", Result::UnknownName, "", ""},
        {"", "1", Result::UnknownName, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + "=" + c.text);
        Settings settings("");
        const auto before = settings.listValues();
        EXPECT_EQ(settings.setValue(c.name, c.text), c.result);
        if (c.result != Result::Ok) {
            const auto after = settings.listValues();
            ASSERT_EQ(after.size(), before.size());
            for (std::size_t i = 0; i < after.size(); ++i) {
                EXPECT_EQ(after[i].value, before[i].value) << after[i].name;
            }
            EXPECT_EQ(settings.getValue(c.name).has_value(), c.result == Result::BadValue);
            continue;
        }
        const auto value = settings.getValue(c.name);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->name, c.shownName);
        EXPECT_EQ(value->value, c.value);
    }

    Settings settings("");
    ASSERT_EQ(settings.setValue("MP3Tag.Artist", "Direct"), Result::Ok);
    EXPECT_EQ(settings.MP3Tag.Artist, "Direct");
    ASSERT_EQ(settings.setValue("EnableExtFilter", "1"), Result::Ok);
    ASSERT_EQ(settings.setValue("FilterExts", "FLAC,wv"), Result::Ok);
    EXPECT_EQ(settings.extensionFilter, (std::vector<std::string>{"flac", "wv"}));
}

TEST_F(ConversionSettingsTest, SaveValueWritesThatValueOnly) {
    Settings settings = changedSettings();
    ASSERT_TRUE(settings.saveValue("MP3BitRate", store()));
    ASSERT_TRUE(settings.saveValue("ogGTag.artist", store()));
    EXPECT_FALSE(settings.saveValue("NoSuchValue", store()));
    const auto snapshot = store().load();
    ASSERT_EQ(snapshot.key(kOptions)->values().size(), 1u);
    EXPECT_EQ(snapshot.key(kOptions)->dword("MP3BitRate"), settings.MP3BitRate);
    const auto* tag = snapshot.key(std::string(kOptions) + "\\OGGTag");
    ASSERT_NE(tag, nullptr);
    ASSERT_EQ(tag->values().size(), 1u);
    EXPECT_EQ(tag->values().front()->name, "Artist");
    EXPECT_EQ(tag->text("Artist"), settings.OGGTag.Artist);
}

TEST_F(ConversionSettingsTest, CutOffStoreLoadsTheWholeValuesAndDefaultsTheRest) {
    const Settings saved = changedSettings();
    ASSERT_TRUE(saved.save(0x1C, store()));
    const std::string full = readText(storeFile());
    const auto savedValues = saved.listValues();
    const auto defaultValues = Settings("").listValues();

    std::size_t partlyLoaded = 0;
    for (std::size_t length = 0; length <= full.size(); length += 7) {
        writeText(storeFile(), full.substr(0, length));
        Settings loaded("");
        loaded.load(store());
        const auto values = loaded.listValues();
        ASSERT_EQ(values.size(), savedValues.size());
        std::size_t fromFile = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const bool isSaved = values[i].value == savedValues[i].value;
            const bool isDefault = values[i].value == defaultValues[i].value;
            EXPECT_TRUE(isSaved || isDefault)
                << values[i].name << "=" << values[i].value << " at length " << length;
            fromFile += isSaved && !isDefault;
        }
        if (fromFile > 0 && fromFile < values.size())
            ++partlyLoaded;
    }
    EXPECT_GT(partlyLoaded, 10u);
    // The whole file gives back everything.
    writeText(storeFile(), full);
    Settings loaded("");
    loaded.load(store());
    EXPECT_EQ(loaded.listValues().size(), savedValues.size());
    for (std::size_t i = 0; i < savedValues.size(); ++i) {
        EXPECT_EQ(loaded.listValues()[i].value, savedValues[i].value) << savedValues[i].name;
    }
}

TEST_F(ConversionSettingsTest, GarbageLinesAreIgnoredAndSurviveASave) {
    const std::vector<std::string> garbage = {
        "this is not a value",           "\"MP3SampleRate\"=dword:zzzz",
        "\"Folder\"=\"no closing quote", "\"AMRMode\"=hex:01,02,03,04",
        "\xff\xfe broken bytes",
    };
    std::string content = "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n";
    content += garbage[0] + "\n\"MP3BitRate\"=dword:000000c0\n";
    for (std::size_t i = 1; i < garbage.size(); ++i)
        content += garbage[i] + "\n";
    content += "\"FilterExts\"=\"mp3,wav\"\n";
    writeText(storeFile(), content);

    Settings settings("");
    ASSERT_TRUE(settings.load(store()));
    EXPECT_EQ(settings.MP3BitRate, 192);
    EXPECT_EQ(settings.FilterExts, "mp3,wav");
    EXPECT_EQ(settings.MP3SampleRate, 44100);
    EXPECT_EQ(settings.Folder, "");
    EXPECT_EQ(settings.AMRMode, 6);

    settings.OutputFormat = 4000;
    ASSERT_TRUE(settings.save(0x10, store()));
    const std::string after = readText(storeFile());
    for (const std::string& line : garbage)
        EXPECT_NE(after.find(line + "\n"), std::string::npos) << line;
    Settings reloaded("");
    ASSERT_TRUE(reloaded.load(store()));
    EXPECT_EQ(reloaded.MP3BitRate, 192);
    EXPECT_EQ(reloaded.FilterExts, "mp3,wav");
    EXPECT_EQ(reloaded.OutputFormat, 4000);
}

TEST_F(ConversionSettingsTest, ConcurrentSavesOfDifferentGroupsBothArrive) {
    constexpr int kRounds = 40;
    std::vector<pid_t> children;
    for (const int groups : {0x10, 0x04}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Settings settings("");
            bool ok = true;
            for (int i = 1; i <= kRounds; ++i) {
                settings.OptStartPageIndex = i;
                settings.Folder = "/folder/" + std::to_string(i) + "/";
                ok = settings.save(groups, store()) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Settings loaded("");
    ASSERT_TRUE(loaded.load(store()));
    EXPECT_EQ(loaded.OptStartPageIndex, kRounds);
    EXPECT_EQ(loaded.Folder, "/folder/" + std::to_string(kRounds) + "/");
}

} // namespace
} // namespace velmora
