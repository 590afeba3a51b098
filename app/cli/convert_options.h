#pragma once

#include "engine/conversion_settings.h"
#include "engine/device_profile.h"
#include "sources/segment.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::cli {

// One option of `convert`, as --help lists it and the shell completions offer it.
struct CliOption {
    std::string_view longName;  // "--output-dir"
    std::string_view shortName; // "-o", or empty
    std::string_view valueName; // "DIR", or empty for a flag
    std::string_view choices;   // the accepted words, space-separated, or empty
    std::string_view help;
};

// The words after "convert": the output format, the run-only changes to the stored settings
// (short options and --set), the output style and the inputs as the user typed them.
class ConvertOptions {
public:
    static std::span<const CliOption> table();

    // The usage error message, none when the words are a valid request.
    std::optional<std::string> parse(const std::vector<std::string>& args);

    // Applies the run's changes to the loaded settings; they are never saved. Each notice is a
    // line for standard error. Returns the usage error message, none on success.
    std::optional<std::string> applyTo(ConversionSettings& settings,
                                       std::vector<std::string>& notices) const;

    int format() const { return m_format.value_or(0); }
    const std::vector<std::string>& inputs() const { return m_inputs; }
    bool json() const { return m_json; }
    bool quiet() const { return m_quiet; }

    // The phone profile of --ringtone; nullptr without one.
    const DeviceProfile* ringtone() const { return m_ringtone; }
    // True when the files get a segment: a profile, a start, a length or a fade was given.
    bool wantsSegment() const;
    // True when the start is the loudest part's (a profile without --start).
    bool wantsSuggestedStart() const;
    // The segment as asked; its start is 0 when it is to be suggested, and its length runs to
    // the end of the file when neither --length nor a profile gives one.
    Segment segment() const;

private:
    using Assignment = std::pair<std::string, std::string>; // setting name, value

    std::optional<std::string> takeOption(const CliOption& option, const std::string& value);
    std::optional<std::string> takeInput(const std::string& arg);
    std::optional<std::string> takeTime(std::string_view name, const std::string& value);
    std::optional<std::string> shorthandAssignments(std::vector<Assignment>& out) const;
    std::optional<std::string> outputFolderAssignments(std::vector<Assignment>& out) const;

    std::optional<int> m_format;
    std::vector<Assignment> m_sets;
    std::optional<std::string> m_outputDir;
    bool m_sameFolder = false;
    bool m_keepTree = false;
    std::optional<int> m_ifExists;
    std::optional<int> m_bitrateKbps;
    std::optional<int> m_rateHz;
    std::optional<int> m_channels; // 1 mono, 2 stereo
    std::optional<int> m_monoFrom;
    std::optional<int> m_gainPercent;
    std::optional<int> m_tagType;
    std::vector<Assignment> m_tagFields; // preset field name, value
    const DeviceProfile* m_ringtone = nullptr;
    std::optional<std::int64_t> m_startMs;
    std::optional<std::int64_t> m_lengthMs;
    std::optional<std::int64_t> m_fadeInMs;
    std::optional<std::int64_t> m_fadeOutMs;
    bool m_json = false;
    bool m_quiet = false;
    std::vector<std::string> m_inputs;
};

} // namespace velmora::cli
