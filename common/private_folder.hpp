// A private folder of this process under the system's temporary folder,
// for the files a dry run would write: removed, with all it holds, when it
// goes out of scope (a fatal error included).
#pragma once

#include <string>

struct PrivateFolder {
    std::string path;

    PrivateFolder() = default;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder();
};

// Makes the folder; false when none can be made.
[[nodiscard]] bool make_private_folder(PrivateFolder& folder);
