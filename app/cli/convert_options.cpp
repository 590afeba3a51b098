#include "app/cli/convert_options.h"

#include "engine/output_format.h"
#include "engine/segment_time.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::array kOptions = {
    CliOption{"--to", "", "FORMAT", "mp3 wav wma wmv asf ogg aac m4a mp4 m4b m4r amr awb",
              "output format: extension word or numeric code"},
    CliOption{"--set", "", "NAME=VALUE", "", "change a stored setting for this run only"},
    CliOption{"--output-dir", "-o", "DIR", "", "write into DIR"},
    CliOption{"--same-folder", "", "", "", "write beside each source"},
    CliOption{"--keep-tree", "", "", "", "recreate each source's folder path below DIR"},
    CliOption{"--if-exists", "", "POLICY", "rename overwrite skip",
              "when the output file exists: rename, overwrite or skip"},
    CliOption{"--bitrate", "-b", "KBPS", "", "bit rate in kbit/s"},
    CliOption{"--rate", "-r", "HZ", "8000 11025 16000 22050 32000 44100 48000",
              "sample rate in Hz"},
    CliOption{"--mono", "", "", "", "one channel"},
    CliOption{"--stereo", "", "", "", "two channels"},
    CliOption{"--mono-from", "", "SOURCE", "mix left right",
              "how a stereo source becomes mono: mix, left or right"},
    CliOption{"--gain", "", "PERCENT", "", "amplify to PERCENT of the source's volume"},
    CliOption{"--tags", "", "FROM", "preset source none",
              "tags written: the stored preset, the source's, or none"},
    CliOption{"--title", "", "TEXT", "", "title tag (implies --tags preset)"},
    CliOption{"--artist", "", "TEXT", "", "artist tag (implies --tags preset)"},
    CliOption{"--album", "", "TEXT", "", "album tag (implies --tags preset)"},
    CliOption{"--year", "", "TEXT", "", "year tag (implies --tags preset)"},
    CliOption{"--genre", "", "TEXT", "", "genre tag (implies --tags preset)"},
    CliOption{"--comment", "", "TEXT", "", "comment tag (implies --tags preset)"},
    CliOption{"--track", "", "NUMBER", "", "track number tag (implies --tags preset)"},
    CliOption{"--ringtone", "", "PHONE", "iphone android feature-phone",
              "a ringtone for PHONE: iphone, android or feature-phone"},
    CliOption{"--start", "", "TIME", "", "convert from TIME on (seconds or m:ss)"},
    CliOption{"--length", "", "TIME", "", "convert at most TIME (seconds or m:ss)"},
    CliOption{"--fade-in", "", "TIME", "", "fade in over TIME (seconds or m:ss)"},
    CliOption{"--fade-out", "", "TIME", "", "fade out over TIME (seconds or m:ss)"},
    CliOption{"--json", "", "", "", "print one JSON object per file and a summary"},
    CliOption{"--quiet", "-q", "", "", "print only the files that failed"},
};

// The settings a shorthand reaches in each output family; empty where the family has none.
struct FamilySettings {
    OutputFamily family;
    std::string_view autoFlag;
    std::string_view bitrate;
    int bitrateScale; // stored units per kbit/s
    std::string_view vbrFlag;
    std::string_view sampleRate;
    std::string_view channels;
    std::string_view monoValue;
    std::string_view stereoValue;
    std::string_view tagType;
    std::string_view tagWord;
    std::string_view amplify;
    std::string_view amplifyCoefficient;
    std::array<std::string_view, 7> encodingValues; // used only while Auto is off
};

constexpr std::array kFamilies = {
    FamilySettings{OutputFamily::Mp3,
                   "AutoDestMP3EncodingParam",
                   "MP3BitRate",
                   1,
                   "",
                   "MP3SampleRate",
                   "MP3ChannelMode",
                   "3",
                   "1",
                   "MP3ID3TagType",
                   "MP3",
                   "AmplifyMp3",
                   "AmplifyMp3Coeff",
                   {"MP3BitRate", "MP3SampleRate", "MP3ChannelMode"}},
    FamilySettings{OutputFamily::Wav,
                   "AutoDestWAVEncodingParam",
                   "",
                   1,
                   "",
                   "WAVSampleRate",
                   "WAVChannelNum",
                   "1",
                   "2",
                   "",
                   "",
                   "AmplifyWav",
                   "AmplifyWavCoeff",
                   {"WAVSampleRate", "WAVChannelNum", "WAVBitsPerSample"}},
    FamilySettings{OutputFamily::WindowsMedia,
                   "AutoDestWMAEncodingParam",
                   "WMABitRate",
                   1000,
                   "",
                   "WMASampleRate",
                   "WMAChannels",
                   "1",
                   "2",
                   "WMAID3TagType",
                   "WMA",
                   "AmplifyWMA",
                   "AmplifyWMACoeff",
                   {"WMABitRate", "WMASampleRate", "WMAChannels"}},
    FamilySettings{OutputFamily::Ogg,
                   "AutoDestOGGEncodingParam",
                   "OGGBitRate",
                   1,
                   "",
                   "OGGSampleRate",
                   "OGGChannels",
                   "1",
                   "2",
                   "OGGID3TagType",
                   "OGG",
                   "AmplifyOGG",
                   "AmplifyOGGCoeff",
                   {"OGGBitRate", "OGGSampleRate", "OGGChannels"}},
    FamilySettings{OutputFamily::Aac,
                   "AutoDestAACEncodingParam",
                   "AACABRBitRate",
                   1,
                   "AACVBR",
                   "",
                   "",
                   "",
                   "",
                   "",
                   "",
                   "AmplifyAAC",
                   "AmplifyAACCoef",
                   {"AACVBR", "AACVBRQuality", "AACABRBitRate", "AACMpegVersion", "AACEnableTNS",
                    "AACEnableMidside", "AACBlockType"}},
    FamilySettings{OutputFamily::Mp4,
                   "AutoDestM4AEncodingParam",
                   "M4AABRBitRate",
                   1,
                   "M4AVBR",
                   "",
                   "",
                   "",
                   "",
                   "M4AID3TagType",
                   "M4A",
                   "AmplifyM4A",
                   "AmplifyM4ACoef",
                   {"M4AVBR", "M4AVBRQuality", "M4AABRBitRate", "M4AEnableTNS", "M4AEnableMidside",
                    "M4ABlockType"}},
    FamilySettings{OutputFamily::Amr,
                   "",
                   "",
                   1,
                   "",
                   "",
                   "",
                   "",
                   "",
                   "",
                   "",
                   "AmplifyAMR",
                   "AmplifyAMRCoef",
                   {}},
};

const FamilySettings& familySettings(int formatCode) {
    const OutputFormatEntry* entry = findOutputFormat(formatCode);
    const OutputFamily family = entry ? entry->family : OutputFamily::Mp3;
    return *std::find_if(kFamilies.begin(), kFamilies.end(),
                         [family](const FamilySettings& f) { return f.family == family; });
}

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::optional<int> positiveNumber(std::string_view text, int maximum) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0 || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<int> choiceIndex(std::string_view choices, std::string_view word) {
    int index = 0;
    for (std::size_t start = 0; start <= choices.size(); ++index) {
        const std::size_t space = std::min(choices.find(' ', start), choices.size());
        if (choices.substr(start, space - start) == word)
            return index;
        start = space + 1;
    }
    return std::nullopt;
}

const CliOption* findOption(std::string_view word) {
    for (const CliOption& option : kOptions)
        if (word == option.longName || (!option.shortName.empty() && word == option.shortName))
            return &option;
    return nullptr;
}

std::string notApplicable(std::string_view option, int formatCode) {
    return "convert: " + std::string(option) + " does not apply to " +
           outputFormatUpperWord(formatCode) + " output";
}

} // namespace

std::span<const CliOption> ConvertOptions::table() {
    return kOptions;
}

std::optional<std::string> ConvertOptions::parse(const std::vector<std::string>& args) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !arg.starts_with("-") || arg == "-") {
            if (auto problem = takeInput(arg))
                return problem;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string word = arg.substr(0, equals);
        const CliOption* option = findOption(word);
        if (!option)
            return "convert: unknown option " + word + "; try velmora-cli --help";
        std::string value;
        if (option->valueName.empty()) {
            if (equals != std::string::npos)
                return "convert: " + word + " takes no value";
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return "convert: " + word + " needs a value (" + std::string(option->valueName) + ")";
        }
        if (auto problem = takeOption(*option, value))
            return problem;
    }
    if (m_ringtone) {
        if (m_format && *m_format != m_ringtone->outputFormat)
            return "convert: --ringtone " + std::string(m_ringtone->cliWord) + " writes " +
                   outputFormatUpperWord(m_ringtone->outputFormat) + "; --to contradicts it";
        m_format = m_ringtone->outputFormat;
    }
    if (!m_format || m_inputs.empty())
        return "convert: usage: velmora-cli convert --to FORMAT [OPTION]... FILE|FOLDER...";
    if (m_outputDir && m_sameFolder)
        return std::string("convert: --output-dir and --same-folder contradict each other");
    if (m_tagType && *m_tagType != 0 && !m_tagFields.empty())
        return std::string("convert: a tag text needs --tags preset");
    return std::nullopt;
}

std::optional<std::string> ConvertOptions::takeInput(const std::string& arg) {
    if (arg == "-")
        return std::string("convert: - (standard input) is not accepted: a conversion needs a "
                           "file it can read twice; name the file instead");
    m_inputs.push_back(arg);
    return std::nullopt;
}

std::optional<std::string> ConvertOptions::takeOption(const CliOption& option,
                                                      const std::string& value) {
    const std::string_view name = option.longName;
    const auto bad = [&](std::string_view wanted) {
        return std::optional<std::string>("convert: " + std::string(name) + " wants " +
                                          std::string(wanted) + ", not \"" + value + "\"");
    };
    const auto choice = [&]() { return choiceIndex(option.choices, value); };
    if (name == "--to") {
        m_format = parseOutputFormat(value);
        if (!m_format)
            return "convert: unknown output format " + value + " (" + std::string(option.choices) +
                   ")";
    } else if (name == "--set") {
        const auto equals = value.find('=');
        if (equals == std::string::npos || equals == 0)
            return "convert: --set wants NAME=VALUE, not " + value;
        m_sets.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    } else if (name == "--output-dir") {
        if (value.empty())
            return bad("a folder");
        m_outputDir = value;
    } else if (name == "--same-folder") {
        m_sameFolder = true;
    } else if (name == "--keep-tree") {
        m_keepTree = true;
    } else if (name == "--if-exists") {
        const auto index = choice();
        if (!index)
            return bad("rename, overwrite or skip");
        m_ifExists = std::array{11, 22, 33}[*index];
    } else if (name == "--bitrate") {
        if (!(m_bitrateKbps = positiveNumber(value, 2000)))
            return bad("a bit rate in kbit/s from 1 to 2000");
    } else if (name == "--rate") {
        if (!(m_rateHz = positiveNumber(value, 384000)))
            return bad("a sample rate in Hz from 1 to 384000");
    } else if (name == "--mono" || name == "--stereo") {
        const int channels = name == "--mono" ? 1 : 2;
        if (m_channels && *m_channels != channels)
            return std::string("convert: --mono and --stereo contradict each other");
        m_channels = channels;
    } else if (name == "--mono-from") {
        if (!(m_monoFrom = choice()))
            return bad("mix, left or right");
    } else if (name == "--gain") {
        if (!(m_gainPercent = positiveNumber(value, 100000)))
            return bad("a percentage such as 150");
    } else if (name == "--tags") {
        if (!(m_tagType = choice()))
            return bad("preset, source or none");
    } else if (name == "--track") {
        if (!positiveNumber(value, 99999))
            return bad("a track number from 1");
        m_tagFields.emplace_back("TrackNumType", "2");
        m_tagFields.emplace_back("CustomTrackNum", value);
    } else if (name == "--title") {
        m_tagFields.emplace_back("TitleAsFileName", "0");
        m_tagFields.emplace_back("Title", value);
    } else if (name == "--ringtone") {
        if (!(m_ringtone = findDeviceProfile(value)))
            return bad("iphone, android or feature-phone");
    } else if (name == "--start" || name == "--length" || name == "--fade-in" ||
               name == "--fade-out") {
        return takeTime(name, value);
    } else if (name == "--json") {
        m_json = true;
    } else if (name == "--quiet") {
        m_quiet = true;
    } else {
        // --artist, --album, --year, --genre, --comment: the preset field of the same name.
        std::string field(name.substr(2));
        field[0] = static_cast<char>(field[0] - 'a' + 'A');
        m_tagFields.emplace_back(field, value);
    }
    return std::nullopt;
}

std::optional<std::string> ConvertOptions::takeTime(std::string_view name,
                                                    const std::string& value) {
    const std::optional<std::int64_t> ms = SegmentTime::parse(value);
    if (name == "--length") {
        if (!ms || *ms == 0)
            return "convert: --length wants a time above 0 (seconds or m:ss), not \"" + value +
                   "\"";
        m_lengthMs = ms;
        return std::nullopt;
    }
    if (!ms)
        return "convert: " + std::string(name) + " wants a time (seconds or m:ss), not \"" + value +
               "\"";
    if (name == "--start")
        m_startMs = ms;
    else if (name == "--fade-in")
        m_fadeInMs = ms;
    else
        m_fadeOutMs = ms;
    return std::nullopt;
}

bool ConvertOptions::wantsSegment() const {
    return m_ringtone || m_startMs || m_lengthMs || m_fadeInMs || m_fadeOutMs;
}

bool ConvertOptions::wantsSuggestedStart() const {
    return m_ringtone && !m_startMs;
}

Segment ConvertOptions::segment() const {
    Segment segment;
    segment.startMs = m_startMs.value_or(0);
    segment.lengthMs =
        m_lengthMs.value_or(m_ringtone ? m_ringtone->suggestedLengthMs : Segment::kToTheEndMs);
    // A profile brings fades of its own; otherwise only the fades asked for.
    segment.fadeInMs = m_fadeInMs.value_or(m_ringtone ? m_ringtone->defaultFadeInMs : 0);
    segment.fadeOutMs = m_fadeOutMs.value_or(m_ringtone ? m_ringtone->defaultFadeOutMs : 0);
    return segment;
}

std::optional<std::string>
ConvertOptions::outputFolderAssignments(std::vector<Assignment>& out) const {
    if (m_outputDir) {
        std::error_code error;
        const fs::path folder = fs::absolute(*m_outputDir, error).lexically_normal();
        if (error)
            return "convert: --output-dir " + *m_outputDir + " cannot be resolved";
        if (fs::exists(folder, error) && !fs::is_directory(folder, error))
            return "convert: --output-dir " + *m_outputDir + " is not a folder";
        out.emplace_back("DestOutputFolderOpt", std::to_string(ConversionSettings::kCustomFolder));
        out.emplace_back("DestSpecifiedFolder", folder.string());
    }
    if (m_sameFolder)
        out.emplace_back("DestOutputFolderOpt",
                         std::to_string(ConversionSettings::kSameFolderAsSource));
    if (m_keepTree)
        out.emplace_back("CreateDirs", "1");
    if (m_ifExists)
        out.emplace_back("TargetExistsOpt", std::to_string(*m_ifExists));
    return std::nullopt;
}

std::optional<std::string>
ConvertOptions::shorthandAssignments(std::vector<Assignment>& out) const {
    const int formatCode = format();
    const FamilySettings& family = familySettings(formatCode);
    if (m_bitrateKbps) {
        if (family.bitrate.empty())
            return notApplicable("--bitrate", formatCode);
        out.emplace_back(family.bitrate, std::to_string(*m_bitrateKbps * family.bitrateScale));
        if (!family.vbrFlag.empty())
            out.emplace_back(family.vbrFlag, "0");
    }
    if (m_rateHz) {
        if (family.sampleRate.empty())
            return notApplicable("--rate", formatCode);
        out.emplace_back(family.sampleRate, std::to_string(*m_rateHz));
    }
    if (m_channels) {
        if (family.channels.empty())
            return notApplicable(*m_channels == 1 ? "--mono" : "--stereo", formatCode);
        out.emplace_back(family.channels, *m_channels == 1 ? family.monoValue : family.stereoValue);
    }
    if (m_monoFrom)
        out.emplace_back("MonoType", std::to_string(*m_monoFrom));
    if (m_gainPercent) {
        out.emplace_back(family.amplify, "1");
        out.emplace_back(family.amplifyCoefficient, std::to_string(*m_gainPercent));
    }
    if (m_tagType || !m_tagFields.empty()) {
        if (family.tagType.empty())
            return notApplicable(m_tagType ? "--tags" : "a tag text", formatCode);
        // The choices run preset, source, none: the stored tag types 0, 1, 2.
        out.emplace_back(family.tagType, std::to_string(m_tagType.value_or(0)));
        for (const auto& [field, value] : m_tagFields)
            out.emplace_back(std::string(family.tagWord) + "Tag." + field, value);
    }
    return std::nullopt;
}

std::optional<std::string> ConvertOptions::applyTo(ConversionSettings& settings,
                                                   std::vector<std::string>& notices) const {
    // The profile first: the user's own options fine-tune it.
    if (m_ringtone)
        applyDeviceProfile(*m_ringtone, settings);
    std::vector<Assignment> assignments;
    if (auto problem = outputFolderAssignments(assignments))
        return problem;
    if (auto problem = shorthandAssignments(assignments))
        return problem;
    // --set names the stored value itself, so it has the last word.
    assignments.insert(assignments.end(), m_sets.begin(), m_sets.end());
    for (const auto& [name, value] : assignments) {
        switch (settings.setValue(name, value)) {
        case ConversionSettings::SetResult::UnknownName:
            return "convert: unknown setting " + name;
        case ConversionSettings::SetResult::BadValue:
            return "convert: " + value + " is not a valid value for " + name;
        case ConversionSettings::SetResult::Ok:
            break;
        }
    }
    settings.OutputFormat = format();

    // An encoding value is ignored while its format's Auto flag is on; the user who names one
    // wants it used, unless they also set the flag themselves.
    const FamilySettings& family = familySettings(format());
    if (family.autoFlag.empty() ||
        std::any_of(m_sets.begin(), m_sets.end(),
                    [&](const Assignment& set) { return sameName(set.first, family.autoFlag); }))
        return std::nullopt;
    for (const auto& [name, value] : assignments) {
        const bool isEncodingValue =
            std::any_of(family.encodingValues.begin(), family.encodingValues.end(),
                        [&](std::string_view v) { return !v.empty() && sameName(v, name); });
        if (!isEncodingValue)
            continue;
        if (settings.getValue(family.autoFlag)->value != "0") {
            settings.setValue(family.autoFlag, "0");
            notices.push_back(settings.getValue(name)->name + " applies only with " +
                              std::string(family.autoFlag) + "=0; switched off for this run");
        }
        break;
    }
    return std::nullopt;
}

} // namespace velmora::cli
