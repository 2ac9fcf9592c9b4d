// What differs between the Linux and the Windows build, in one place: the
// terminal (is a stream one, a key without echo, where the console put its
// cursor), 64-bit file positions, the process id, the environment, what
// separates folders in a path, and the file calls that stdio lacks: locks
// between processes, writes flushed to the disk, a folder's write access. Only this header and the two platform_*.cpp
// files know which system they are built for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

// printf-style checking of a function's format string. mingw's C++ runtime
// formats through its own C99 printf (%zu and all), not the old Windows one
// that plain "printf" means to the compiler there.
#ifdef __MINGW32__
#define MOZAIK_PRINTF(format_at, args_at) __attribute__((format(gnu_printf, format_at, args_at)))
#else
#define MOZAIK_PRINTF(format_at, args_at) __attribute__((format(printf, format_at, args_at)))
#endif

namespace platform {

#ifdef _WIN32
inline constexpr bool kWindows = true;
// A drive colon or either slash ends a folder part ("c:x.rom" is in c:'s
// current folder; "x.rom:s" would be a stream of x.rom).
inline constexpr std::string_view kFolderSeparators = "/\\:";
#else
inline constexpr bool kWindows = false;
inline constexpr std::string_view kFolderSeparators = "/";
#endif

enum class Stream { In, Out, Err };

// Whether the stream is a terminal (on Windows: a console, not a file, a
// pipe or the NUL device).
bool is_terminal(Stream stream);

// Waits for one key press on the terminal of standard input, without echo.
// A key that sends several codes (arrows, function keys) is read whole.
void read_key();

// After the 80th character of a line was written to the stream (it is
// flushed here): true when the console has already moved its cursor to the start
// of the next line by itself, so that a line end would show a blank line.
// Never for a file, a pipe or a Linux terminal.
bool console_wrapped(Stream stream);

// Moves an open file's position to a 64-bit offset.
bool seek(std::FILE* file, std::int64_t offset);

long process_id();

// An open file of the system's own kind (a descriptor, a HANDLE), for what
// stdio cannot do: locks and writes flushed to the disk. Closed, and its
// lock released, when it goes out of scope (the system releases it when
// the process ends, however it ends).
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() { close(); }
    FileHandle(FileHandle&& other) noexcept : native_(std::exchange(other.native_, kClosed)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            close();
            native_ = std::exchange(other.native_, kClosed);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool is_open() const { return native_ != kClosed; }
    std::intptr_t native() const { return native_; }
    void close();

    static constexpr std::intptr_t kClosed = -1;
    explicit FileHandle(std::intptr_t native) : native_(native) {}

private:
    std::intptr_t native_ = kClosed;
};

// Opens an existing regular file for reading, and for writing when
// `writable`; closed when it cannot be opened so.
FileHandle open_existing(const std::string& path, bool writable);
// Creates the new file `path` for writing, with no more access than
// `permissions` (POSIX mode bits; the umask narrows them further). Nothing
// may stand at the name, a symbolic link (dangling or not) included: the
// creation then fails, so no file is ever made or written through a link
// planted there. Windows: CREATE_NEW, no reparse point followed.
FileHandle create_new(const std::string& path, unsigned permissions = 0666);

// Writes all of `data` to the file from where it stands (a new file: its
// start); false when the file took less.
bool write_all(const FileHandle& file, std::span<const std::uint8_t> data);

// A file name that cannot be guessed ahead: `stem`, a dot, twelve random
// letters and digits, then `suffix`.
std::string unguessable_name(const std::string& stem, const std::string& suffix);

enum class Lock { Shared, Exclusive };
// Takes the lock on the file without waiting; false when another handle
// of the file holds one that excludes it (another run, in another process
// or through another open of the file). Locks are advisory: they bind only
// those who take them, and reads and writes go on as before.
bool try_lock(const FileHandle& file, Lock lock);
void unlock(const FileHandle& file);

// Whether `path` names the file the handle holds open (not another file
// renamed to its name since).
bool same_file(const FileHandle& file, const std::string& path);

// Writes all of `data` at `offset`; false when the file took less.
bool write_at(const FileHandle& file, std::uint64_t offset, std::span<const std::uint8_t> data);
// Waits until what was written to the file is on the disk.
bool sync(const FileHandle& file);
bool sync(std::FILE* file);
// Waits until the folder's entries (files made, renamed, removed) are on
// the disk; true where the system does that by itself.
bool sync_folder(const std::string& folder);
// Whether this process may make files in `folder` ("" is the current one).
bool folder_writable(const std::string& folder);

// An environment variable's value as the system reads it (on Windows the
// name in any case); nothing when it is not set.
std::optional<std::string> environment(const char* name);

}  // namespace platform
