// Writing the work files a run leaves behind.
#include "archive/work_files.hpp"

#include "common/console.hpp"
#include "common/file.hpp"

bool keep_work_file(const char* name, std::span<const std::uint8_t> data) {
    if (replace_file(name, data)) return true;
    console::conf("Can't write %s\n", name);
    return false;
}
