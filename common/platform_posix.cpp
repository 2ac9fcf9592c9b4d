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
#include <random>
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

bool is_terminal(Stream stream) { return isatty(descriptor(stream)) != 0; }

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
bool console_wrapped(Stream) { return false; }

bool seek(std::FILE* file, std::int64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

long process_id() { return static_cast<long>(getpid()); }

std::string unguessable_name(const std::string& stem, const std::string& suffix) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device entropy;  // the kernel's random source
    std::string name = stem + ".";
    for (int i = 0; i < 12; ++i) name += kLetters[entropy() % (sizeof kLetters - 1)];
    return name + suffix;
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
int fd(const FileHandle& file) { return static_cast<int>(file.native()); }
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

bool write_all(const FileHandle& file, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t n = ::write(static_cast<int>(file.native()), data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

// flock, not fcntl: an fcntl lock is the process's and goes when any
// descriptor of the file is closed, as every read of the image by path does.
bool try_lock(const FileHandle& file, Lock lock) {
    for (;;) {
        if (flock(fd(file), (lock == Lock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0) return true;
        if (errno != EINTR) return false;
    }
}

void unlock(const FileHandle& file) { flock(fd(file), LOCK_UN); }

bool same_file(const FileHandle& file, const std::string& path) {
    struct stat held {}, named {};
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

bool sync(const FileHandle& file) { return fsync(fd(file)) == 0; }

bool sync(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

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
