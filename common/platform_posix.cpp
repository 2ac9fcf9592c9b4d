// The platform interface on Linux and other POSIX systems: termios for the
// key, stdio's 64-bit positions, getenv, descriptors with flock and fsync.
#include "common/platform.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace platform {
namespace {
int descriptor(Stream stream) {
    switch (stream) {
    case Stream::In: return STDIN_FILENO;
    case Stream::Out: return STDOUT_FILENO;
    case Stream::Err: break;
    }
    return STDERR_FILENO;
}
}  // namespace

bool is_terminal(Stream stream) {
    return isatty(descriptor(stream)) != 0;
}

void read_key() {
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    // ISIG off: Ctrl-C is a key like any other here. Were it a signal, the
    // process would end with the terminal still without echo.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char c;
    ssize_t got = read(STDIN_FILENO, &c, 1);
    (void)got;
    // The rest of a key that sends several bytes (arrows, function keys)
    // must not reach the shell after the program ends.
    tcflush(STDIN_FILENO, TCIFLUSH);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

// A terminal here keeps the cursor on the line until the next character.
bool console_wrapped(Stream) {
    return false;
}

bool seek(std::FILE* file, std::int64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

long process_id() {
    return static_cast<long>(getpid());
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

void FileHandle::close() {
    if (native_ != kClosed) ::close(static_cast<int>(native_));
    native_ = kClosed;
}

namespace {
int fd(const FileHandle& file) {
    return static_cast<int>(file.native());
}
}  // namespace

FileHandle open_existing(const std::string& path, bool writable) {
    // O_NONBLOCK: a pipe or a device in the image's place must not hang the open.
    const int d = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (d < 0) return {};
    FileHandle file(d);
    struct stat st {};
    if (fstat(d, &st) != 0 || !S_ISREG(st.st_mode)) return {};
    fcntl(d, F_SETFL, fcntl(d, F_GETFL) & ~O_NONBLOCK);
    return file;
}

FileHandle create_new(const std::string& path, unsigned permissions) {
    // O_EXCL with O_CREAT fails on any name that exists, a link included;
    // O_NOFOLLOW says so for the last part of the path as well.
    const int d = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         static_cast<mode_t>(permissions & 0777));
    return d < 0 ? FileHandle() : FileHandle(d);
}

Folder open_folder(const std::string& path) {
    const int d = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Folder folder;
    if (d >= 0) folder.handle = FileHandle(d);
    folder.path = path;
    return folder;
}

FileHandle create_in(const Folder& folder, const std::string& name, unsigned permissions) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    const int d = ::openat(fd(folder.handle), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           static_cast<mode_t>(permissions & 0777));
    return d < 0 ? FileHandle() : FileHandle(d);
}

namespace {
// What stands at `name` in the folder `at`, told without following a link,
// for an open that failed with `error`.
OpenIn why_not_opened(int at, const std::string& name, int error) {
    struct stat st {};
    if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? OpenIn::Missing : OpenIn::Failed;
    if (S_ISLNK(st.st_mode)) return OpenIn::Link;
    if (error == ENOTDIR || !S_ISREG(st.st_mode)) return OpenIn::NotRegular;
    return OpenIn::Failed;
}
}  // namespace

OpenedIn open_in(const Folder& folder, const std::string& relative) {
    OpenedIn result;
    FileHandle at;  // the folder reached so far, when below `folder`
    int at_fd = fd(folder.handle);
    std::size_t from = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', from);
        const std::string part = relative.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        if (part.empty()) {  // "a//b" or a trailing slash: refused as no file
            result.status = OpenIn::NotRegular;
            return result;
        }
        const bool last = slash == std::string::npos;
        // O_NONBLOCK: a pipe planted there must not hang the open.
        const int flags =
            last ? O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC : O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        const int d = ::openat(at_fd, part.c_str(), flags);
        if (d < 0) {
            result.status = why_not_opened(at_fd, part, errno);
            return result;
        }
        FileHandle opened(d);
        if (last) {
            struct stat st {};
            if (fstat(d, &st) != 0 || !S_ISREG(st.st_mode)) {
                result.status = OpenIn::NotRegular;
                return result;
            }
            fcntl(d, F_SETFL, fcntl(d, F_GETFL) & ~O_NONBLOCK);
            result.status = OpenIn::Opened;
            result.file = std::move(opened);
            return result;
        }
        at = std::move(opened);
        at_fd = fd(at);
        from = slash + 1;
    }
}

std::optional<std::uint64_t> file_size(const FileHandle& file) {
    struct stat st {};
    if (fstat(fd(file), &st) != 0 || st.st_size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::size_t> read_some(const FileHandle& file, std::span<std::uint8_t> data) {
    for (;;) {
        const ssize_t n = ::read(fd(file), data.data(), data.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return std::nullopt;
    }
}

bool write_all(const FileHandle& file, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t n = ::write(static_cast<int>(file.native()), data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

FileHandle open_no_follow(const std::string& path) {
    const int d = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    return d < 0 ? FileHandle() : FileHandle(d);
}

namespace {
FileFacts facts_of(const struct stat& st) {
    FileFacts f;
    f.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    f.size = static_cast<std::uint64_t>(st.st_size);
    f.links = static_cast<std::uint64_t>(st.st_nlink);
    f.regular = S_ISREG(st.st_mode);
    f.link = S_ISLNK(st.st_mode);
    f.owner = static_cast<std::uint32_t>(st.st_uid);
    f.group = static_cast<std::uint32_t>(st.st_gid);
    f.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
    return f;
}
}  // namespace

std::optional<FileFacts> facts(const FileHandle& file) {
    struct stat st {};
    if (fstat(fd(file), &st) != 0) return std::nullopt;
    return facts_of(st);
}

std::optional<FileFacts> name_facts(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return facts_of(st);
}

FileHandle create_new_like(const std::string& path, const FileHandle& like) {
    struct stat model {};
    if (fstat(fd(like), &model) != 0) return {};
    FileHandle out = create_new(path, static_cast<unsigned>(model.st_mode & 0644));
    if (!out.is_open()) return out;
    // Root makes it the image's owner's, as the image is; anyone else keeps
    // it, and what fails here only keeps it narrower.
    struct stat made {};
    if (fstat(fd(out), &made) != 0) return {};
    if (made.st_uid != model.st_uid || made.st_gid != model.st_gid) {
        if (fchown(fd(out), model.st_uid, model.st_gid) != 0) { /* kept as made */
        }
        if (fstat(fd(out), &made) != 0) return {};
        if (made.st_gid != model.st_gid && fchmod(fd(out), made.st_mode & 0600) != 0) return {};
    }
    return out;
}

std::optional<std::size_t> read_at(const FileHandle& file, std::uint64_t offset, std::span<std::uint8_t> data) {
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = pread(fd(file), data.data() + got, data.size() - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// flock, not fcntl: an fcntl lock is the process's and goes when any
// descriptor of the file is closed, as every read of the image by path does.
LockTry try_lock(const FileHandle& file, Lock lock) {
    for (;;) {
        if (flock(fd(file), (lock == Lock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0) return LockTry::Taken;
        if (errno == EINTR) continue;
        // ENOLCK, EOPNOTSUPP, EINVAL (and any other): no wait would take it.
        return errno == EWOULDBLOCK || errno == EAGAIN ? LockTry::Busy : LockTry::Unsupported;
    }
}

void unlock(const FileHandle& file) {
    flock(fd(file), LOCK_UN);
}

bool same_file(const FileHandle& file, const std::string& path) {
    struct stat held {
    }, named{};
    return fstat(fd(file), &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

bool write_at(const FileHandle& file, std::uint64_t offset, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t n = pwrite(fd(file), data.data(), data.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data = data.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool sync(const FileHandle& file) {
    return fsync(fd(file)) == 0;
}

bool sync(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool sync(const Folder& folder) {
    return fsync(fd(folder.handle)) == 0;
}

bool sync_folder(const std::string& folder) {
    const int d = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d < 0) return false;
    const bool ok = fsync(d) == 0;
    ::close(d);
    return ok;
}

bool folder_writable(const std::string& folder) {
    return access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace platform
