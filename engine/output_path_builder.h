#pragma once

#include "engine/output_name_reservations.h"
#include "sources/source_file.h"

#include <functional>
#include <optional>
#include <string>

namespace velmora {

// The settings that decide where an output file goes, copied from the conversion settings.
struct OutputPathOptions {
    static constexpr int kNextToSource = 199;
    static constexpr int kCustomFolder = 399;
    static constexpr int kAutoRename = 11;
    static constexpr int kOverwrite = 22;
    static constexpr int kSkip = 33;

    // "DestOutputFolderOpt": kCustomFolder writes into destSpecifiedFolder; every other value
    // writes next to the source.
    int destOutputFolderOpt = kNextToSource;
    std::string destSpecifiedFolder;
    // Below the custom folder, recreate the source's folder path.
    bool createDirs = false;
    // "TargetExistsOpt": kOverwrite, kSkip; every other value renames.
    int targetExistsOpt = kAutoRename;
    // Retry once in the Documents folder when a folder or the file cannot be created.
    bool outputFiles2MyDocuments = true;
    // Of the output format, with its dot (".wav").
    std::string extension;
};

// Decides the full path of an entry's output file and proves that it can be created there.
class OutputPathBuilder {
public:
    // Yields the user's Documents folder; an empty string when it is not known.
    using DocumentsFolderQuery = std::function<std::string()>;

    OutputPathBuilder(OutputPathOptions options, DocumentsFolderQuery documentsFolder);

    // On success the entry's outputPath holds the path and message is untouched. On failure
    // message holds the status text for the file list and the entry is untouched. Nothing is left
    // on disk but the folders made on the way; an existing target that overwrite mode keeps is
    // neither emptied nor removed.
    bool buildOutputPath(SourceFile& entry, std::string& message) const;

    // The same, for conversions that run side by side: a name another running conversion holds
    // counts as taken (overwrite mode waits for it instead), and the chosen name is held in
    // `reservation` until the caller's conversion has ended.
    bool buildOutputPath(SourceFile& entry, std::string& message,
                         OutputNameReservations& reservations,
                         OutputNameReservation& reservation) const;

private:
    enum class PassResult { Built, CreationFailed, Refused };

    PassResult runPass(const std::string& sourcePath, int mode, const std::string& folder,
                       bool createDirs, std::string& outputPath, std::string& message,
                       OutputNameReservations* reservations) const;
    // The output name below `stem` that the target-exists rule picks, reserved when reservations
    // are kept; none when the rule refuses the file.
    std::optional<std::string> claimCandidate(const std::string& stem,
                                              const std::string& sourcePath, std::string& message,
                                              OutputNameReservations* reservations) const;
    std::optional<std::string> pickCandidate(const std::string& stem, const std::string& sourcePath,
                                             std::string& message,
                                             const OutputNameReservations* reservations) const;
    bool buildReserving(SourceFile& entry, std::string& message,
                        OutputNameReservations* reservations) const;

    OutputPathOptions m_options;
    DocumentsFolderQuery m_documentsFolder;
};

} // namespace velmora
