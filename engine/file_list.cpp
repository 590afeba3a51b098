#include "engine/file_list.h"

#include "platform/ascii_case.h"

#include <algorithm>
#include <cstdio>

namespace velmora {
namespace {

std::string formatDuration(int seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%02d:%02d", seconds / 60, seconds % 60);
    return text;
}

std::string formatWithUnit(int value, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string mpegChannelModeText(int channelMode) {
    static constexpr std::array<const char*, 4> kModes = {"Stereo", "J-Stereo", "Dual Channel",
                                                          "Mono"};
    if (channelMode < 0 || channelMode >= static_cast<int>(kModes.size()))
        return {};
    return kModes[static_cast<std::size_t>(channelMode)];
}

std::string channelCountText(int channels) {
    if (channels <= 1)
        return "Mono";
    if (channels == 2)
        return "Stereo";
    if (channels == 6)
        return "5.1";
    return formatWithUnit(channels, "%d");
}

} // namespace

std::string upperCasePath(std::string_view path) {
    return upperCaseAscii(path);
}

bool FileList::contains(std::string_view path) const {
    return m_pathIndex.contains(upperCasePath(path));
}

int FileList::addFile(const std::string& path) {
    std::string key = upperCasePath(path);
    if (m_pathIndex.contains(key))
        return kDuplicate;

    const SourceKind kind = sourceKindForPath(path);
    SourceFactory factory;
    std::unique_ptr<AudioSource> source = factory.open(path, kind, 0, false);
    if (!source) {
        const std::string extension = lowerCaseExtension(path);
        if (factory.failureNote() == SourceFactory::kNotRegularNote)
            m_failureNote = SourceFactory::kNotRegularNote;
        else if (kind == SourceKind::CdAudio)
            m_failureNote = kCdNote;
        else if (extension == ".swf" || extension == ".flv")
            m_failureNote = kFlashNote;
        return kRejected;
    }

    auto entry = std::make_unique<SourceFile>();
    entry->path = path;
    entry->durationSeconds = source->durationSeconds();
    entry->sampleRate = source->sampleRate();
    entry->bitrateKbps = source->bitrateKbps();
    if (kind == SourceKind::MpegAudio)
        entry->channelMode = source->channelMode();
    else
        entry->channels = source->channels();
    entry->kind = kind;
    source->close();

    m_pathIndex.emplace(std::move(key), entry.get());
    m_entries.push_back(std::move(entry));
    m_decoders.push_back(*factory.lastDecoder());
    return static_cast<int>(m_entries.size() - 1);
}

FileList::RowTexts FileList::describeRow(const SourceFile& entry) {
    RowTexts row;
    row[0] = std::string(fileNamePart(entry.path));
    if (entry.durationSeconds > 0)
        row[1] = formatDuration(entry.durationSeconds);
    if (entry.bitrateKbps > 0)
        row[2] = formatWithUnit(entry.bitrateKbps, "%d kbps");
    if (entry.sampleRate > 0)
        row[3] = formatWithUnit(entry.sampleRate, "%d Hz");
    row[4] = entry.kind == SourceKind::MpegAudio ? mpegChannelModeText(entry.channelMode)
                                                 : channelCountText(entry.channels);
    return row;
}

void FileList::removeRow(std::size_t row) {
    if (row >= m_entries.size())
        return;
    m_pathIndex.erase(upperCasePath(m_entries[row]->path));
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(row));
    m_decoders.erase(m_decoders.begin() + static_cast<std::ptrdiff_t>(row));
}

void FileList::clear() {
    m_pathIndex.clear();
    m_entries.clear();
    m_decoders.clear();
}

} // namespace velmora
