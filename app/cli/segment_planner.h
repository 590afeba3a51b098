#pragma once

#include "app/cli/convert_options.h"
#include "sources/source_file.h"

#include <span>
#include <string>
#include <vector>

namespace velmora::cli {

// Gives each file of a convert run the segment its options ask for, finding the loudest part
// where a ringtone profile is to choose the start.
class SegmentPlanner {
public:
    explicit SegmentPlanner(const ConvertOptions& options) : m_options(options) {}

    // Sets entry.segment on every entry when the options want one. Each notice is a line for
    // standard error (a part longer than the phone allows).
    void plan(std::span<SourceFile* const> entries, std::vector<std::string>& notices) const;

private:
    Segment segmentFor(const SourceFile& entry) const;

    const ConvertOptions& m_options;
};

} // namespace velmora::cli
