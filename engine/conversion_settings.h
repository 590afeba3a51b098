#pragma once

#include "engine/tag_preset.h"
#include "platform/registry_store.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Every user option of the program, with its defaults and its persistence in the registry
// store. Each persisted field bears the exact name of its registry value in the "Options" key;
// the four tag presets live in its subkeys "MP3Tag", "OGGTag", "WMATag" and "M4ATag".
// Numbers are signed 32-bit values stored as dwords; flags are 0 = off, anything else = on.
class ConversionSettings {
public:
    // Bits of save(): each writes its own values and nothing else.
    static constexpr int kSaveFormatAndPage = 0x10; // "OutputFormat", "OptStartPageIndex"
    static constexpr int kSaveFolder = 0x04;        // "Folder"
    static constexpr int kSaveOptions = 0x08;       // everything else, tag presets included

    static constexpr std::string_view kOptionsKey = "Software\\Ostrane Velmora\\Options";

    static constexpr int kSameFolderAsSource = 199;
    static constexpr int kCustomFolder = 399;

    // The defaults. The output goes to the Documents folder (created when missing) when it is
    // known, next to the source otherwise.
    ConversionSettings();
    // The defaults with the given Documents folder; empty when it is not known.
    explicit ConversionSettings(const std::string& documentsFolder);

    // General and output.
    int OutputFormat = 1000;
    int OptStartPageIndex = 0;
    std::string Folder; // last folder chosen by Add Folder, with its trailing "/"
    int DestOutputFolderOpt = kSameFolderAsSource;
    // Kept as given: the Documents default has no trailing "/", a browsed folder has one;
    // output naming adds the separator when it is missing.
    std::string DestSpecifiedFolder;
    int CreateDirs = 0;
    int TargetExistsOpt = 11; // 11 auto rename, 22 overwrite, 33 skip
    int OutputFiles2MyDocuments = 1;
    int BrowseOutputFolder = 1;
    int MonoType = 0; // 0 (L+R)/2, 1 left, 2 right
    int EnableExtFilter = 0;
    std::string FilterExts;

    // MP3.
    int AutoDestMP3EncodingParam = 1;
    int MP3BitRate = 128; // kbit/s; 0 = from the source
    int MP3SampleRate = 44100;
    int MP3ChannelMode = 1; // 0 stereo, 1 joint stereo, 3 mono, 4 as the source
    int MP3ID3TagType = 1;  // 0 custom preset, 1 from the source, 2 none
    int MP3WriteID3Version = 1;
    int AmplifyMp3 = 0;
    int AmplifyMp3Coeff = 100; // percent

    // WAV.
    int AutoDestWAVEncodingParam = 1;
    int WAVSampleRate = 44100;
    int WAVChannelNum = 2; // 0 as the source, 1 mono, 2 stereo
    int WAVBitsPerSample = 16;
    int AmplifyWav = 0;
    int AmplifyWavCoeff = 100;

    // Windows Media (WMA, WMV, ASF).
    int AutoDestWMAEncodingParam = 1;
    int WMABitRate = 128000; // bit/s
    int WMASampleRate = 44100;
    int WMAChannels = 2;
    int WMAID3TagType = 1;
    int AmplifyWMA = 0;
    int AmplifyWMACoeff = 100;

    // OGG.
    int AutoDestOGGEncodingParam = 1;
    int OGGBitRate = 128; // kbit/s
    int OGGSampleRate = 44100;
    int OGGChannels = 2;
    int OGGID3TagType = 1;
    int AmplifyOGG = 0;
    int AmplifyOGGCoeff = 100;

    // AAC (ADTS).
    int AutoDestAACEncodingParam = 1;
    int AACVBR = 1;
    int AACVBRQuality = 100;
    int AACABRBitRate = 128;
    int AACMpegVersion = 0; // 0 MPEG-4, 1 MPEG-2
    int AACEnableTNS = 0;
    int AACEnableMidside = 1;
    int AACBlockType = 0;
    int AmplifyAAC = 0;
    int AmplifyAACCoef = 100;

    // MP4 family (M4A, MP4, M4B, M4R).
    int AutoDestM4AEncodingParam = 1;
    int M4AVBR = 1;
    int M4AVBRQuality = 100;
    int M4AABRBitRate = 128;
    int M4AEnableTNS = 0;
    int M4AEnableMidside = 1;
    int M4ABlockType = 0;
    int M4AID3TagType = 1;
    int AmplifyM4A = 0;
    int AmplifyM4ACoef = 100;

    // AMR and AWB.
    int AMRType = 0; // 0 narrow band, 1 wide band
    int AMRMode = 6;
    int AMRWBMode = 6;
    int AMRDTX = 0;
    int AWBMode = 6;
    int AWBDTX = 0;
    int AmplifyAMR = 0;
    int AmplifyAMRCoef = 100;

    TagPreset MP3Tag;
    TagPreset OGGTag;
    TagPreset WMATag;
    TagPreset M4ATag;

    // Derived from "EnableExtFilter" and "FilterExts", not persisted: the lower-case extensions
    // (without the dot) that adding a folder or dropping files accepts. Empty when the filter
    // is off.
    std::vector<std::string> extensionFilter;

    // Not persisted: set for a run by the iPhone ringtone profile. The MP4 family otherwise
    // keeps the source's rate; with this on, a source above 48000 Hz is brought down to 44100 Hz,
    // the highest rate every phone plays.
    bool limitM4ASampleRate = false;

    // To be called after "EnableExtFilter" or "FilterExts" changed.
    void rebuildExtensionFilter();

    // Reads the "Options" key in the order of the original program with its corrections, then
    // the four tag presets. A missing key or value keeps what is in memory. False when the
    // "Options" key does not exist.
    bool load(const RegistryStore& store = RegistryStore());

    // Writes the values of the groups in `groups` (kSave... bits) in one commit. A zero set
    // writes nothing. False when the store could not be written.
    bool save(int groups, const RegistryStore& store = RegistryStore()) const;

    // One preset in the subkey word + "Tag" of "Options" ("MP3" -> "MP3Tag"). A missing subkey
    // leaves the preset unchanged and returns false; a missing or empty text becomes "".
    static bool loadTagPreset(TagPreset& preset, std::string_view word,
                              const RegistryStore& store = RegistryStore());
    static bool saveTagPreset(const TagPreset& preset, std::string_view word,
                              const RegistryStore& store = RegistryStore());

    // Access by registry value name, for the command line. Tag preset values are named by
    // subkey and value: "MP3Tag.Title". Names compare without regard to ASCII case.
    struct NamedValue {
        std::string name; // as the program spells it
        RegistryStore::ValueType type;
        std::string value; // decimal for a dword
    };
    enum class SetResult { Ok, UnknownName, BadValue };

    // Every persisted value in reading order, then the presets MP3, OGG, WMA, M4A.
    std::vector<NamedValue> listValues() const;
    std::optional<NamedValue> getValue(std::string_view name) const;
    // A dword takes a decimal signed 32-bit number; BadValue also for a number that loading
    // would correct (an "MP3ChannelMode" of 2, a coefficient of 5), so that what is set is what
    // is used.
    SetResult setValue(std::string_view name, std::string_view text);
    // Writes that one value to the store. False for an unknown name or a failed write.
    bool saveValue(std::string_view name, const RegistryStore& store = RegistryStore()) const;

    // The preset of a family word ("MP3", "OGG", "WMA", "M4A"), none for another word.
    TagPreset* tagPreset(std::string_view word);
    const TagPreset* tagPreset(std::string_view word) const;

private:
    static std::string tagKeyPath(std::string_view word);
    static void readTagPreset(TagPreset& preset, const RegistryStore::Key& key);
    static void addTagPreset(RegistryStore::Transaction& transaction, const TagPreset& preset,
                             std::string_view word);
};

} // namespace velmora
