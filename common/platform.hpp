// What differs between the Linux and the Windows build, in one place: the
// terminal (is a stream one, a key without echo, where the console put its
// cursor), 64-bit file positions, the process id, the environment, what
// separates folders in a path, and the file calls that stdio lacks: locks
// between processes, writes flushed to the disk, a folder's write access. Only this header and the two platform_*.cpp
// files know which system they are built for; platform.cpp holds what is the same on both.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// A folder held open, so that the files made in it go into this folder
// whatever its name leads to later. `path` is the name it was opened by
// (Windows makes files by joined path: see create_in).
struct Folder {
    FileHandle handle;
    std::string path;
    bool is_open() const { return handle.is_open(); }
};
// Opens the existing folder `path` (a link to a folder is followed: the
// name is the user's); closed when it is no folder or cannot be opened.
Folder open_folder(const std::string& path);

// Creates the new file `name` (one part: no folder separator) in `folder`
// for writing, as create_new does, relative to the folder's handle
// (openat with O_CREAT|O_EXCL|O_NOFOLLOW on POSIX; on Windows the joined
// path with CREATE_NEW, no reparse point followed): whatever stands at the
// name, a link planted there included, makes it fail.
FileHandle create_in(const Folder& folder, const std::string& name, unsigned permissions = 0666);

// What open_in found at a relative path.
enum class OpenIn {
    Opened,      // a regular file, reached through folders only, none of them a link
    Missing,     // nothing stands at a part of the path
    Link,        // a part of the path is a symbolic link (a reparse point on Windows)
    NotRegular,  // the file is a folder, a device, a pipe; or a part along it is no folder
    Failed,      // anything else (no access, ...)
};
// Opens the regular file at `relative` (parts split at the folder
// separators; the caller has refused absolute paths and ".." parts) inside
// `folder` for reading, walking each part from the folder's handle without
// following any link: a link anywhere along the path is refused (Link),
// so the file opened is inside the folder. `file` is open only for Opened.
struct OpenedIn {
    OpenIn status = OpenIn::Failed;
    FileHandle file;
};
OpenedIn open_in(const Folder& folder, const std::string& relative);

// The size of the open file; nothing when it cannot be told.
std::optional<std::uint64_t> file_size(const FileHandle& file);
// Reads up to data.size() bytes from where the file stands: how many were
// read (0 at the end), or nothing on an error.
std::optional<std::size_t> read_some(const FileHandle& file, std::span<std::uint8_t> data);

// Writes all of `data` to the file from where it stands (a new file: its
// start); false when the file took less.
bool write_all(const FileHandle& file, std::span<const std::uint8_t> data);

// A file name that cannot be guessed ahead: `stem`, a dot, twelve random
// letters and digits, then `suffix`.
std::string unguessable_name(const std::string& stem, const std::string& suffix);

// Opens an existing file for reading without following a link at its
// name: closed when a symbolic link (a reparse point on Windows) stands
// there, or nothing does. The file may be of any type: check facts().
// O_NONBLOCK: a pipe there does not hang the open.
FileHandle open_no_follow(const std::string& path);

// Which file a name or a handle leads to: the same two numbers for every
// name (hard link) of one file, and different ones for any other file.
// POSIX: the device and the inode; Windows: the volume serial number and
// the file index.
struct FileId {
    std::uint64_t device = 0, number = 0;
    bool operator==(const FileId&) const = default;
};

// What the system says of a file.
struct FileFacts {
    FileId id;
    std::uint64_t size = 0;
    std::uint64_t links = 1;  // its names (hard links)
    bool regular = false;     // a regular file (no folder, device, pipe or link)
    bool link = false;        // a symbolic link or a reparse point (a name's facts, not followed)
    // POSIX only (empty on Windows): the owner's and the group's ids and the permission bits.
    std::optional<std::uint32_t> owner, group, mode;
};
// Of the open file.
std::optional<FileFacts> facts(const FileHandle& file);
// Of the name itself: a link at `path` is not followed. Nothing when
// nothing stands there.
std::optional<FileFacts> name_facts(const std::string& path);

// Creates the new file `path` as create_new does, with no more access than
// the file `like` grants: its permission bits less every write bit but the
// owner's, owned by its owner and group where this process may give them
// (root), and without the group's bits when the file could not be given
// `like`'s group. Windows: create_new.
FileHandle create_new_like(const std::string& path, const FileHandle& like);

// Reads up to data.size() bytes at `offset`; how many it read (fewer at
// the end of the file), nothing on a read error.
std::optional<std::size_t> read_at(const FileHandle& file, std::uint64_t offset, std::span<std::uint8_t> data);
// The whole content of the open file from its start, through the handle
// (not the name, which may lead to another file by now): nothing on a read
// error or when it holds more than `limit` bytes.
std::optional<std::vector<std::uint8_t>> read_all(const FileHandle& file, std::size_t limit);

enum class Lock { Shared, Exclusive };
// What try_lock found: the lock taken, held by another (Busy), or a file
// system that takes no lock at all (Unsupported: flock fails with ENOLCK,
// EOPNOTSUPP, EINVAL and the like on some network and FUSE file systems),
// which no wait mends.
enum class LockTry { Taken, Busy, Unsupported };
// Takes the lock on the file without waiting; Busy when another handle
// of the file holds one that excludes it (another run, in another process
// or through another open of the file). Locks are advisory: they bind only
// those who take them, and reads and writes go on as before.
LockTry try_lock(const FileHandle& file, Lock lock);
void unlock(const FileHandle& file);

// Whether `path` names the file the handle holds open (not another file
// renamed to its name since).
bool same_file(const FileHandle& file, const std::string& path);

// Writes all of `data` at `offset`; false when the file took less.
bool write_at(const FileHandle& file, std::uint64_t offset, std::span<const std::uint8_t> data);
// Waits until what was written to the file is on the disk.
bool sync(const FileHandle& file);
bool sync(std::FILE* file);
// Waits until the entries of the folder held (files made in it) are on
// the disk; true where the system does that by itself.
bool sync(const Folder& folder);
// Waits until the folder's entries (files made, renamed, removed) are on
// the disk; true where the system does that by itself.
bool sync_folder(const std::string& folder);
// Whether this process may make files in `folder` ("" is the current one).
bool folder_writable(const std::string& folder);

// An environment variable's value as the system reads it (on Windows the
// name in any case); nothing when it is not set.
std::optional<std::string> environment(const char* name);

}  // namespace platform
