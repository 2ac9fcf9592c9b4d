// /unpack into a folder that is not new: the check of what stands there,
// and the tidying of files an earlier unpack made.
#include "folder/refresh.hpp"

#include <filesystem>
#include <vector>

#include "common/console.hpp"
#include "common/platform.hpp"
#include "folder/manifest.hpp"

namespace fs = std::filesystem;

namespace {

// The earlier manifest's text, read through the folder handle (no link
// followed, at most 1 MiB); nothing when it cannot be read.
std::optional<std::string> earlier_manifest(const std::string& dir) {
    const platform::Folder folder = platform::open_folder(dir);
    if (!folder.is_open()) return std::nullopt;
    platform::OpenedIn opened = platform::open_in(folder, kManifestName);
    if (opened.status != platform::OpenIn::Opened) return std::nullopt;
    constexpr std::size_t kLimit = 1u << 20;
    std::string text;
    std::vector<std::uint8_t> piece(1u << 16);
    for (;;) {
        const std::optional<std::size_t> n = platform::read_some(opened.file, piece);
        if (!n) return std::nullopt;
        if (*n == 0) return text;
        text.append(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(*n));
        if (text.size() > kLimit) return std::nullopt;
    }
}

// A name /unpack may have made in the folder: one part, not "." or "..".
bool plain_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(platform::kFolderSeparators) == std::string::npos;
}

}  // namespace

UnpackFolder examine_folder(const std::string& dir) {
    UnpackFolder found;
    std::error_code ec;
    const fs::file_status st = fs::status(dir, ec);
    if (!fs::exists(st)) return found;
    found.existed = true;
    if (!fs::is_directory(st)) {
        found.why_not = dir + " is no folder";
        return found;
    }
    bool others = false;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (!e.path().filename().string().starts_with('.')) others = true;
    if (ec) {
        found.why_not = "can't read " + dir;
        return found;
    }
    if (!others) return found;
    const std::string manifest_path = (fs::path(dir) / kManifestName).string();
    const std::optional<std::string> text = earlier_manifest(dir);
    if (!text) {
        found.why_not = dir + " is not empty and holds no manifest.txt of an earlier unpack";
        return found;
    }
    const std::variant<Manifest, std::string> parsed = parse_manifest(*text);
    if (const std::string* fault = std::get_if<std::string>(&parsed)) {
        found.why_not = manifest_path + ": " + *fault + "; mend it or empty " + dir;
        return found;
    }
    const Manifest& m = std::get<Manifest>(parsed);
    found.refresh = true;
    found.named = {kManifestName, m.image_file};
    for (const ManifestLine& l : m.lines) found.named.insert(l.file);
    return found;
}

void tidy_folder(const std::string& dir, const std::set<std::string>& before, const std::set<std::string>& written) {
    std::vector<std::string> stale;
    for (const std::string& name : before) {
        if (written.contains(name) || !plain_name(name)) continue;
        stale.push_back(name);
        if (name.ends_with(".bin")) stale.push_back(name.substr(0, name.size() - 4) + ".bmp");
    }
    for (const std::string& name : stale) {
        if (written.contains(name)) continue;
        const fs::path path = fs::path(dir) / name;
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(path, ec);
        if (!fs::is_regular_file(st) && !fs::is_symlink(st)) continue;
        if (fs::remove(path, ec)) console::outf("removed %s (its component is gone)\n", path.string().c_str());
    }
    std::error_code ec;
    std::set<std::string> left;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (!written.contains(e.path().filename().string())) left.insert(e.path().filename().string());
    for (const std::string& name : left) console::outf("left %s as it was\n", (fs::path(dir) / name).string().c_str());
}
