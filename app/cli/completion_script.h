#pragma once

#include <string>

namespace velmora::cli {

// Shell completion for velmora-cli, written from the same option table that --help lists, so
// the two cannot drift apart.
class CompletionScript {
public:
    static std::string bash();
    static std::string zsh();
};

} // namespace velmora::cli
