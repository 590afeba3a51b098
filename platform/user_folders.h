#pragma once

#include <filesystem>
#include <string>

namespace velmora {

// Where the user's files live on this system: the folder of the settings store and the
// Documents folder. Everything is derived from the environment at the time of the call, so a
// test that changes HOME or VELMORA_CONFIG_DIR sees the change at once.
class UserFolders {
public:
    // $VELMORA_CONFIG_DIR when set, else $XDG_CONFIG_HOME/velmora, else ~/.config/velmora.
    // Not created here: the store creates it when it first writes.
    static std::filesystem::path configDirectory();

    // The user's Documents folder, created when missing: XDG_DOCUMENTS_DIR from the environment,
    // else from $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Documents. Empty when it cannot be
    // determined or is not a folder and cannot be created. No trailing "/".
    static std::string documentsFolder();

    // $HOME, or the account's home folder from the password database when HOME is unset or
    // empty; empty when neither is known.
    static std::string homeDirectory();
};

} // namespace velmora
