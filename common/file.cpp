// RAII file handles over stdio streams.
#include "common/file.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "common/platform.hpp"

File::File(const std::string& path, const char* mode) : fp_(std::fopen(path.c_str(), mode)) {}

File::~File() {
    close();
}

File::File(File&& other) noexcept : fp_(std::exchange(other.fp_, nullptr)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fp_ = std::exchange(other.fp_, nullptr);
    }
    return *this;
}

void File::close() {
    if (fp_) std::fclose(fp_);
    fp_ = nullptr;
}

bool File::seek(std::int64_t offset) {
    return fp_ && offset >= 0 && platform::seek(fp_, offset);
}

std::size_t File::read(std::span<std::uint8_t> buf) {
    if (!fp_ || buf.empty()) return 0;
    return std::fread(buf.data(), 1, buf.size(), fp_);
}

bool File::write(std::span<const std::uint8_t> data) {
    if (!fp_) return false;
    if (data.empty()) return true;
    return std::fwrite(data.data(), 1, data.size(), fp_) == data.size();
}

bool File::write_at(std::int64_t offset, std::span<const std::uint8_t> data) {
    return seek(offset) && write(data);
}

bool File::flush() {
    return fp_ && std::fflush(fp_) == 0;
}

std::optional<std::vector<std::uint8_t>> read_file(const std::string& path, std::size_t limit) {
    File f(path, "rb");
    if (!f.is_open()) return std::nullopt;
    std::vector<std::uint8_t> data;
    std::uint8_t chunk[65536];
    while (data.size() < limit) {
        const std::size_t want = std::min(sizeof chunk, limit - data.size());
        const std::size_t got = f.read(std::span(chunk, want));
        data.insert(data.end(), chunk, chunk + got);
        if (got < want) break;
    }
    if (std::ferror(f.get())) return std::nullopt;
    return data;
}

std::optional<std::vector<std::uint8_t>> read_input_file(const std::string& path, std::size_t limit) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > limit) return std::nullopt;
    File f(path, "rb");
    if (!f.is_open()) return std::nullopt;
    // Read in one piece into a buffer sized once; a file that changed its
    // size meanwhile is read again the long way.
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size) + 1);
    const std::size_t got = f.read(data);
    if (std::ferror(f.get())) return std::nullopt;
    if (got == size) {
        data.resize(got);
        return data;
    }
    f.close();
    std::optional<std::vector<std::uint8_t>> again = read_file(path, limit + 1);
    if (again && again->size() > limit) return std::nullopt;  // it grew while being read
    return again;
}

bool write_file(const std::string& path, std::span<const std::uint8_t> data, Flush flush) {
    File f(path, "wb");
    if (!f.is_open()) return false;
    bool ok = f.write(data) && f.flush();
    if (ok && flush == Flush::ToDisk) ok = platform::sync(f.get());
    f.close();
    return ok;
}

namespace {
// The file a chain of symbolic links ends at (the path itself when it is
// none); nothing for a loop or a chain too long to follow.
std::optional<std::filesystem::path> link_target(std::filesystem::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) return path;
        const std::filesystem::path next = std::filesystem::read_symlink(path, ec);
        if (ec) return std::nullopt;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return std::nullopt;
}
}  // namespace

FileReplacement::~FileReplacement() {
    out.close();
    if (!temporary.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
}

std::unique_ptr<FileReplacement> begin_replace(const std::string& name, AtName at_name) {
    std::filesystem::path path = name;
    if (at_name == AtName::Follow) {
        // A link is followed: the file it names is replaced, the link kept.
        const std::optional<std::filesystem::path> target = link_target(name);
        if (!target) return nullptr;
        path = *target;
    }
    // A folder, a device or a pipe is no file to replace (a pipe with no
    // reader would hold the run for ever).
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, ec);
    if (at_name == AtName::Follow && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return nullptr;
    if (std::filesystem::is_directory(status)) return nullptr;
    // Beside the target, under a name no one could guess or plant a link at.
    auto r = std::make_unique<FileReplacement>();
    const std::filesystem::path temporary =
        path.parent_path() / platform::unguessable_name(path.filename().string(), ".tmp");
    r->out = platform::create_new(temporary.string());
    if (!r->out.is_open()) return nullptr;
    r->path = path;
    r->temporary = temporary;
    return r;
}

bool write_piece(FileReplacement& r, std::span<const std::uint8_t> piece) {
    return platform::write_all(r.out, piece);
}

bool commit_replace(FileReplacement& r, Flush flush) {
    if (flush == Flush::ToDisk && !platform::sync(r.out)) return false;
    r.out.close();
    std::error_code ec;
    std::filesystem::rename(r.temporary, r.path, ec);
    if (ec) return false;
    r.temporary.clear();
    if (flush == Flush::ToDisk) platform::sync_folder(r.path.parent_path().string());
    return true;
}

bool replace_file(const std::string& name, std::span<const std::uint8_t> data, AtName at_name, Flush flush) {
    const std::unique_ptr<FileReplacement> r = begin_replace(name, at_name);
    return r && write_piece(*r, data) && commit_replace(*r, flush);
}

bool can_replace(const std::string& name, AtName at_name) {
    std::filesystem::path path = name;
    if (at_name == AtName::Follow) {
        const std::optional<std::filesystem::path> target = link_target(name);
        if (!target) return false;
        path = *target;
    }
    std::error_code ec;
    const std::filesystem::path folder = path.parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) return false;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, ec);
    if (std::filesystem::is_directory(status)) return false;
    if (at_name == AtName::Follow && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return false;
    return platform::folder_writable(folder.string());
}

std::optional<std::string> resolve_links(const std::string& path) {
    const std::optional<std::filesystem::path> target = link_target(path);
    if (!target) return std::nullopt;
    return target->string();
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool is_file_or_nothing(const std::string& path) {
    const std::optional<std::filesystem::path> target = link_target(path);
    if (!target) return false;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::symlink_status(*target, ec);
    return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}
