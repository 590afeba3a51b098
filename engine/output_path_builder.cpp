#include "engine/output_path_builder.h"

#include "engine/file_list.h"
#include "platform/folder_creator.h"

#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace velmora {
namespace {

constexpr std::string_view kTargetSkipped = "Target exists and skipped";
constexpr std::string_view kSameAsSource =
    "Target file name is same as original file that can't be overwritten. Please output files "
    "to a custom folder.";

std::string folderFailed(const std::string& folder) {
    return "Failed to create folder \"" + folder + "\"";
}

std::string fileFailed(const std::string& file) {
    return "Failed to create file \"" + file + "\"";
}

// A dangling link or anything else bearing the name counts: the writer could not create its file
// there without disturbing it. A name we cannot even look up is left to the probe to refuse.
bool nameTaken(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_type type = std::filesystem::symlink_status(path, ec).type();
    return type != std::filesystem::file_type::not_found &&
           type != std::filesystem::file_type::none;
}

bool sameFile(const std::string& candidate, const std::string& source) {
    if (upperCasePath(candidate) == upperCasePath(source))
        return true;
    // The same file under another spelling ("out//song.mp3", a linked folder): overwriting it
    // would truncate the source while it is being read.
    std::error_code ec;
    return std::filesystem::equivalent(candidate, source, ec);
}

// Proves that the writer will be able to create the candidate. An existing target (overwrite
// mode) is only opened for writing: it is neither truncated nor removed, so the user's file
// survives until a conversion actually replaces it. Otherwise a probe file is created
// exclusively, which never touches anything that appeared meanwhile, and removed again.
bool probeCandidate(const std::string& candidate) {
    if (nameTaken(candidate)) {
        std::error_code ec;
        // Folders, pipes and devices cannot be created anew as the output file.
        if (!std::filesystem::is_regular_file(candidate, ec))
            return false;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    }
    const int fd =
        ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    return ::unlink(candidate.c_str()) == 0;
}

// The source's folder path rebuilt below a custom folder: doubled separators collapsed, ":"
// dropped, ending in "/", never starting with one. "." and ".." are resolved here so that the
// copy cannot climb out of the custom folder.
std::string rebuiltFolder(std::string_view sourceFolder) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start < sourceFolder.size()) {
        std::size_t end = sourceFolder.find('/', start);
        if (end == std::string_view::npos)
            end = sourceFolder.size();
        std::string component;
        for (const char c : sourceFolder.substr(start, end - start))
            if (c != ':')
                component += c;
        if (component == "..") {
            if (!components.empty())
                components.pop_back();
        } else if (!component.empty() && component != ".") {
            components.push_back(std::move(component));
        }
        start = end + 1;
    }
    std::string rebuilt;
    for (const std::string& component : components)
        rebuilt += component + '/';
    return rebuilt;
}

} // namespace

OutputPathBuilder::OutputPathBuilder(OutputPathOptions options,
                                     DocumentsFolderQuery documentsFolder)
    : m_options(std::move(options)), m_documentsFolder(std::move(documentsFolder)) {}

bool OutputPathBuilder::buildOutputPath(SourceFile& entry, std::string& message) const {
    return buildReserving(entry, message, nullptr);
}

bool OutputPathBuilder::buildOutputPath(SourceFile& entry, std::string& message,
                                        OutputNameReservations& reservations,
                                        OutputNameReservation& reservation) const {
    if (!buildReserving(entry, message, &reservations))
        return false;
    reservation = OutputNameReservation(reservations, entry.outputPath);
    return true;
}

bool OutputPathBuilder::buildReserving(SourceFile& entry, std::string& message,
                                       OutputNameReservations* reservations) const {
    std::string outputPath;
    std::string passMessage;
    PassResult result =
        runPass(entry.path, m_options.destOutputFolderOpt, m_options.destSpecifiedFolder,
                m_options.createDirs, outputPath, passMessage, reservations);

    // One more pass in the Documents folder, and only when something could not be created: a
    // skipped or refused target stays refused wherever the file would go.
    if (result == PassResult::CreationFailed && m_options.outputFiles2MyDocuments) {
        const std::string documents = m_documentsFolder ? m_documentsFolder() : std::string();
        if (!documents.empty()) {
            // The rebuilt source path only belongs below a folder the user chose for it.
            const bool createDirs =
                m_options.destOutputFolderOpt == OutputPathOptions::kCustomFolder &&
                m_options.createDirs;
            result = runPass(entry.path, OutputPathOptions::kCustomFolder, documents, createDirs,
                             outputPath, passMessage, reservations);
        }
    }

    if (result != PassResult::Built) {
        message = std::move(passMessage);
        return false;
    }
    entry.outputPath = std::move(outputPath);
    return true;
}

OutputPathBuilder::PassResult
OutputPathBuilder::runPass(const std::string& sourcePath, int mode, const std::string& folder,
                           bool createDirs, std::string& outputPath, std::string& message,
                           OutputNameReservations* reservations) const {
    // Paths are UTF-8: no byte of a multi-byte character equals "/" or ".", so plain byte
    // searches find the real separator and the real dot.
    const std::size_t lastSlash = sourcePath.rfind('/');
    const std::size_t nameStart = lastSlash == std::string::npos ? 0 : lastSlash + 1;
    const std::string_view fileName = std::string_view(sourcePath).substr(nameStart);
    const std::string_view base = fileName.substr(0, fileName.rfind('.'));

    std::string stem;
    if (mode == OutputPathOptions::kCustomFolder) {
        if (folder.empty() || !FolderCreator::existsOrCreate(folder)) {
            message = folderFailed(folder);
            return PassResult::CreationFailed;
        }
        stem = folder;
        if (stem.back() != '/')
            stem += '/';
        if (createDirs) {
            stem += rebuiltFolder(std::string_view(sourcePath).substr(0, nameStart));
            if (!FolderCreator::existsOrCreate(stem)) {
                message = folderFailed(stem);
                return PassResult::CreationFailed;
            }
        }
    } else {
        stem = sourcePath.substr(0, nameStart);
    }
    stem += base;

    std::optional<std::string> candidate = claimCandidate(stem, sourcePath, message, reservations);
    if (!candidate)
        return PassResult::Refused;
    if (!probeCandidate(*candidate)) {
        if (reservations)
            reservations->release(*candidate);
        message = fileFailed(*candidate);
        return PassResult::CreationFailed;
    }
    outputPath = std::move(*candidate);
    return PassResult::Built;
}

std::optional<std::string>
OutputPathBuilder::claimCandidate(const std::string& stem, const std::string& sourcePath,
                                  std::string& message,
                                  OutputNameReservations* reservations) const {
    if (!reservations)
        return pickCandidate(stem, sourcePath, message, nullptr);
    if (m_options.targetExistsOpt == OutputPathOptions::kOverwrite) {
        // Overwrite mode keeps the plain name: a conversion still writing it finishes first, and
        // this one replaces its output afterwards, as when the files are converted in turn.
        const std::string plain = stem + m_options.extension;
        reservations->reserveWhenFree(plain);
        std::optional<std::string> candidate =
            pickCandidate(stem, sourcePath, message, reservations);
        if (!candidate || *candidate != plain)
            reservations->release(plain);
        return candidate;
    }
    // Another thread may reserve the picked name between the pick and the claim; the next pick
    // then counts that name as taken.
    for (;;) {
        std::optional<std::string> candidate =
            pickCandidate(stem, sourcePath, message, reservations);
        if (!candidate || reservations->tryReserve(*candidate))
            return candidate;
    }
}

std::optional<std::string>
OutputPathBuilder::pickCandidate(const std::string& stem, const std::string& sourcePath,
                                 std::string& message,
                                 const OutputNameReservations* reservations) const {
    const auto taken = [&](const std::string& path) {
        return nameTaken(path) || (reservations && reservations->isReserved(path));
    };
    const std::string& extension = m_options.extension;
    std::string candidate = stem + extension;
    if (m_options.targetExistsOpt == OutputPathOptions::kOverwrite) {
        if (nameTaken(candidate) && sameFile(candidate, sourcePath)) {
            message = kSameAsSource;
            return std::nullopt;
        }
        return candidate;
    }
    if (!taken(candidate))
        return candidate;
    if (m_options.targetExistsOpt == OutputPathOptions::kSkip) {
        message = kTargetSkipped;
        return std::nullopt;
    }
    // No upper limit: the first free number wins.
    for (long long number = 1;; ++number) {
        candidate = stem + '_' + std::to_string(number) + extension;
        if (!taken(candidate))
            return candidate;
    }
}

} // namespace velmora
