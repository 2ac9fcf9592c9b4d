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
#include <random>
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

bool seek(std::FILE* file, std::int64_t offset) { return _fseeki64(file, offset, SEEK_SET) == 0; }

long process_id() { return static_cast<long>(_getpid()); }

std::string unguessable_name(const std::string& stem, const std::string& suffix) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device entropy;  // the system's random source (rand_s)
    std::string name = stem + ".";
    for (int i = 0; i < 12; ++i) name += kLetters[entropy() % (sizeof kLetters - 1)];
    return name + suffix;
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
HANDLE native(const FileHandle& file) { return reinterpret_cast<HANDLE>(file.native()); }

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
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.is_open() && GetFileType(native(file)) != FILE_TYPE_DISK) return {};
    return file;
}

FileHandle create_new(const std::string& path, unsigned) {
    // CREATE_NEW fails on any name that exists; FILE_FLAG_OPEN_REPARSE_POINT
    // keeps a reparse point (a link) from being followed.
    return adopt(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

bool try_lock(const FileHandle& file, Lock lock) {
    OVERLAPPED place = lock_place();
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (lock == Lock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(native(file), flags, 0, 1, 0, &place) != 0;
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

bool sync(const FileHandle& file) { return FlushFileBuffers(native(file)) != 0; }

bool sync(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

// NTFS keeps its folder entries in its own journal.
bool sync_folder(const std::string&) { return true; }

// A folder's read-only attribute does not stop files being made in it, and
// access rights are known only by trying: a folder that exists counts.
bool folder_writable(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.empty() ? "." : folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace platform
