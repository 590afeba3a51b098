#pragma once

#include "sources/source_factory.h"
#include "sources/source_file.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora {

// The list of input files and what the probe learnt of each, independent of any widget: the GUI
// shows its rows, the command line prints them.
class FileList {
public:
    static constexpr std::string_view kCdNote =
        "IMPORTANT: please DO NOT add CDA file from hard drive, but add CDA file from CD drive.";
    static constexpr std::string_view kFlashNote =
        "SWF and FLV files are best converted with Velmora Flash Converter, our converter for "
        "Flash video: see http://www.velmora.example/flash-converter/";

    static constexpr int kDuplicate = 0;
    static constexpr int kRejected = -1;

    // The texts of the columns File, Duration, Bit Rate, Freq. and Channels.
    using RowTexts = std::array<std::string, 5>;

    // Describes the file and appends a row for it: the new row's index, kDuplicate when the path
    // (compared upper-cased) is already listed, kRejected when no decoder accepts it (the
    // failure note then may tell why).
    int addFile(const std::string& path);

    static RowTexts describeRow(const SourceFile& entry);

    void removeRow(std::size_t row);
    void clear();

    std::size_t size() const { return m_entries.size(); }
    SourceFile& entry(std::size_t row) { return *m_entries[row]; }
    const SourceFile& entry(std::size_t row) const { return *m_entries[row]; }
    // The decoder that described the entry.
    DecoderId decoderOf(std::size_t row) const { return m_decoders[row]; }
    bool contains(std::string_view path) const;

    const std::string& failureNote() const { return m_failureNote; }
    void clearFailureNote() { m_failureNote.clear(); }

private:
    std::vector<std::unique_ptr<SourceFile>> m_entries;
    std::vector<DecoderId> m_decoders;
    // Upper-cased path -> entry, so that duplicate detection is a lookup, not a scan.
    std::unordered_map<std::string, SourceFile*> m_pathIndex;
    std::string m_failureNote;
};

// The whole path upper-cased (ASCII letters), the key of the list's path index.
std::string upperCasePath(std::string_view path);

} // namespace velmora
