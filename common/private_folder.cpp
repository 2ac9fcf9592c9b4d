// The dry run's private folder.
#include "common/private_folder.hpp"

#include <filesystem>

#include "common/platform.hpp"

PrivateFolder::~PrivateFolder() {
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

bool make_private_folder(PrivateFolder& folder) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return false;
    for (int n = 0; n < 100; ++n) {
        const std::filesystem::path p =
            base / ("mozaik32-dry-" + std::to_string(platform::process_id()) + "-" + std::to_string(n));
        if (std::filesystem::create_directory(p, ec) && !ec) {
            folder.path = p.string();
            return true;
        }
    }
    return false;
}
