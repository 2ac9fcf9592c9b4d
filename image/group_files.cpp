// Work files of a group.
#include "image/group_files.hpp"

#include <filesystem>

#include "common/console.hpp"
#include "image/work_files.hpp"

namespace {

// The group's own file is never replaced by a work file made from it.
bool is_rom_file(const GroupRequest& group, const char* name) {
    std::error_code ec;
    return !group.rom_file.empty() && std::filesystem::equivalent(group.rom_file, name, ec);
}

}  // namespace

Kept keep_group_file(const GroupRequest& group, const char* name, std::span<const std::uint8_t> data) {
    if (is_rom_file(group, name)) {
        console::conf("Can't pack %s: it is the work file %s\n", group.rom_file.c_str(), name);
        return Kept::Refused;
    }
    return keep_work_file(group.work_folder, name, data) ? Kept::Yes : Kept::WriteFailed;
}

void drop_group_file(const GroupRequest& group, const char* name) {
    if (is_rom_file(group, name)) return;
    std::error_code ec;
    std::filesystem::remove(work_file_path(group.work_folder, name), ec);
}
