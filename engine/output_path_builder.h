#pragma once

#include "sources/source_file.h"

#include <functional>
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

private:
    enum class PassResult { Built, CreationFailed, Refused };

    PassResult runPass(const std::string& sourcePath, int mode, const std::string& folder,
                       bool createDirs, std::string& outputPath, std::string& message) const;

    OutputPathOptions m_options;
    DocumentsFolderQuery m_documentsFolder;
};

} // namespace velmora
