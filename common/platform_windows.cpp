// The platform interface on Windows: the console API for terminals and the
// cursor, conio's _getch for the key, the runtime's 64-bit file calls, and
// the process environment through GetEnvironmentVariable.
#include "common/platform.hpp"

#include <conio.h>
#include <io.h>
#include <process.h>
#include <windows.h>

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

}  // namespace platform
