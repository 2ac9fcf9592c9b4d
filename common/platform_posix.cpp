// The platform interface on Linux and other POSIX systems: termios for the
// key, stdio's 64-bit positions, getenv.
#include "common/platform.hpp"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>

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

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

}  // namespace platform
