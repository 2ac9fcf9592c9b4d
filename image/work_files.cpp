// Writing the work files a run leaves behind.
#include "image/work_files.hpp"

#include "common/console.hpp"
#include "common/file.hpp"

#include <filesystem>

std::string work_file_path(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return (std::filesystem::path(folder) / std::filesystem::path(name).filename()).string();
}

bool keep_work_file(const std::string& folder, const char* name, std::span<const std::uint8_t> data) {
    // The fixed names are the tool's own: whatever stands there (a link
    // too) is replaced, never written through. A dry run writes into its
    // own folder but fails where the run would.
    const bool writable = folder.empty() || can_replace(name, AtName::Replace);
    if (writable && replace_file(work_file_path(folder, name), data, AtName::Replace)) return true;
    console::conf("Can't write %s\n", name);
    return false;
}
