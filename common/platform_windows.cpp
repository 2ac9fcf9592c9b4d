// The platform interface on Windows: the console API for terminals and the
// cursor, conio's _getch for the key, the runtime's 64-bit file calls, the
// process environment through GetEnvironmentVariable, and file HANDLEs with
// LockFileEx and FlushFileBuffers.
#include "common/platform.hpp"

#include <conio.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <utility>

namespace platform {
namespace {
HANDLE handle(Stream stream) {
    switch (stream) {
    case Stream::In: return GetStdHandle(STD_INPUT_HANDLE);
    case Stream::Out: return GetStdHandle(STD_OUTPUT_HANDLE);
    case Stream::Err: break;
    }
    return GetStdHandle(STD_ERROR_HANDLE);
}
}  // namespace

// _isatty is also true for the NUL device; only a console has a mode.
bool is_terminal(Stream stream) {
    DWORD mode = 0;
    return GetConsoleMode(handle(stream), &mode) != 0;
}

void read_key() {
    // A function or arrow key arrives as two codes, 0 or 0xE0 first.
    const int c = _getch();
    if (c == 0 || c == 0xE0) _getch();
}

bool console_wrapped(Stream stream) {
    std::fflush(stream == Stream::Out ? stdout : stderr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(handle(stream), &info)) return false;
    return info.dwCursorPosition.X == 0;
}

bool seek(std::FILE* file, std::int64_t offset) {
    return _fseeki64(file, offset, SEEK_SET) == 0;
}

long process_id() {
    return static_cast<long>(_getpid());
}

std::optional<std::string> environment(const char* name) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
        // Set but empty, or not set at all.
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::string value(size, '\0');
    const DWORD got = GetEnvironmentVariableA(name, value.data(), size);
    if (got == 0 || got >= size) return std::nullopt;  // changed in between
    value.resize(got);
    return value;
}

void FileHandle::close() {
    if (native_ != kClosed) CloseHandle(reinterpret_cast<HANDLE>(native_));
    native_ = kClosed;
}

namespace {
HANDLE native(const FileHandle& file) {
    return reinterpret_cast<HANDLE>(file.native());
}

FileHandle adopt(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? FileHandle() : FileHandle(reinterpret_cast<std::intptr_t>(h));
}

// The lock is one byte far past the end of any image, so that it never
// stands in the way of a read or a write (Windows locks bind them).
OVERLAPPED lock_place() {
    OVERLAPPED place{};
    place.Offset = 0;
    place.OffsetHigh = 0x40000000;
    return place;
}
}  // namespace

FileHandle open_existing(const std::string& path, bool writable) {
    // Others may read, write, rename and remove it meanwhile, as with stdio.
    FileHandle file = adopt(CreateFileA(path.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.is_open() && GetFileType(native(file)) != FILE_TYPE_DISK) return {};
    return file;
}

FileHandle create_new(const std::string& path, unsigned) {
    // CREATE_NEW fails on any name that exists; FILE_FLAG_OPEN_REPARSE_POINT
    // keeps a reparse point (a link) from being followed.
    return adopt(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

Folder open_folder(const std::string& path) {
    // FILE_FLAG_BACKUP_SEMANTICS opens a folder; the handle keeps it from
    // being removed or renamed while the run makes files in it.
    Folder folder;
    folder.handle = adopt(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (folder.handle.is_open() && (!GetFileInformationByHandle(native(folder.handle), &info) ||
                                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0))
        folder.handle.close();
    folder.path = path;
    return folder;
}

namespace {
std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '/' || last == '\\' || last == ':' ? folder + name : folder + "\\" + name;
}
}  // namespace

FileHandle create_in(const Folder& folder, const std::string& name, unsigned permissions) {
    // The folder cannot be renamed while its handle is open (no
    // FILE_SHARE_DELETE), so the joined path stays inside it.
    if (!folder.is_open() || name.empty() || name.find_first_of("/\\:") != std::string::npos) return {};
    return create_new(joined(folder.path, name), permissions);
}

OpenedIn open_in(const Folder& folder, const std::string& relative) {
    OpenedIn result;
    if (!folder.is_open()) return result;
    // Each part is looked at without following it: a reparse point (a
    // symbolic link, a junction) anywhere along the path is refused.
    std::string path = folder.path;
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = relative.find_first_of("/\\", from);
        const std::string part = relative.substr(from, end == std::string::npos ? std::string::npos : end - from);
        if (part.empty() || part.find(':') != std::string::npos) {
            result.status = OpenIn::NotRegular;
            return result;
        }
        path = joined(path, part);
        const bool last = end == std::string::npos;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            result.status =
                error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OpenIn::Missing : OpenIn::Failed;
            return result;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            result.status = OpenIn::Link;
            return result;
        }
        if (((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == last) {
            result.status = OpenIn::NotRegular;
            return result;
        }
        if (last) break;
        from = end + 1;
    }
    // Opened without following a reparse point, then checked again through
    // the handle: one planted since the look is refused all the same.
    FileHandle file = adopt(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.is_open() || !GetFileInformationByHandle(native(file), &info)) {
        result.status = OpenIn::Failed;
        return result;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        result.status = OpenIn::Link;
        return result;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || GetFileType(native(file)) != FILE_TYPE_DISK) {
        result.status = OpenIn::NotRegular;
        return result;
    }
    result.status = OpenIn::Opened;
    result.file = std::move(file);
    return result;
}

std::optional<std::uint64_t> file_size(const FileHandle& file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(native(file), &size) || size.QuadPart < 0) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::size_t> read_some(const FileHandle& file, std::span<std::uint8_t> data) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
    if (!ReadFile(native(file), data.data(), want, &got, nullptr)) return std::nullopt;
    return static_cast<std::size_t>(got);
}

bool write_all(const FileHandle& file, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        if (!WriteFile(native(file), data.data(), want, &written, nullptr) || written == 0) return false;
        data = data.subspan(written);
    }
    return true;
}

FileHandle open_no_follow(const std::string& path) {
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, not what it names:
    // facts() then says `link`, and the caller refuses it.
    FileHandle file =
        adopt(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.is_open()) return file;
    const std::optional<FileFacts> f = facts(file);
    if (!f || f->link) return {};
    return file;
}

std::optional<FileFacts> facts(const FileHandle& file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(native(file), &info)) return std::nullopt;
    FileFacts f;
    f.id = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    f.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    f.links = info.nNumberOfLinks;
    f.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    f.regular = !f.link && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                GetFileType(native(file)) == FILE_TYPE_DISK;
    return f;
}

std::optional<FileFacts> name_facts(const std::string& path) {
    // No access asked: the name's facts only. BACKUP_SEMANTICS opens a folder too.
    const FileHandle named =
        adopt(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!named.is_open()) return std::nullopt;
    return facts(named);
}

// Windows keeps no mode bits: the new file takes its folder's access rights.
FileHandle create_new_like(const std::string& path, const FileHandle&) {
    return create_new(path);
}

std::optional<std::size_t> read_at(const FileHandle& file, std::uint64_t offset, std::span<std::uint8_t> data) {
    std::size_t got = 0;
    while (got < data.size()) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + got);
        at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - got, 1u << 30));
        if (!ReadFile(native(file), data.data() + got, want, &n, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return std::nullopt;
        }
        if (n == 0) break;
        got += n;
    }
    return got;
}

LockTry try_lock(const FileHandle& file, Lock lock) {
    OVERLAPPED place = lock_place();
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (lock == Lock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (LockFileEx(native(file), flags, 0, 1, 0, &place)) return LockTry::Taken;
    // A share or a file system that locks no byte range; anything else is taken as another run's lock.
    switch (GetLastError()) {
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER: return LockTry::Unsupported;
    default: return LockTry::Busy;
    }
}

bool same_file(const FileHandle& file, const std::string& path) {
    const FileHandle named = adopt(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return named.is_open() && GetFileInformationByHandle(native(file), &a) &&
           GetFileInformationByHandle(native(named), &b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

void unlock(const FileHandle& file) {
    OVERLAPPED place = lock_place();
    UnlockFileEx(native(file), 0, 1, 0, &place);
}

bool write_at(const FileHandle& file, std::uint64_t offset, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        if (!WriteFile(native(file), data.data(), want, &written, &at) || written == 0) return false;
        data = data.subspan(written);
        offset += written;
    }
    return true;
}

bool sync(const FileHandle& file) {
    return FlushFileBuffers(native(file)) != 0;
}

bool sync(std::FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// NTFS keeps its folder entries in its own journal.
bool sync(const Folder&) {
    return true;
}
bool sync_folder(const std::string&) {
    return true;
}

// A folder's read-only attribute does not stop files being made in it, and
// access rights are known only by trying: a folder that exists counts.
bool folder_writable(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.empty() ? "." : folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace platform
