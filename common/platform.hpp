// What differs between the Linux and the Windows build, in one place: the
// terminal (is a stream one, a key without echo, where the console put its
// cursor), 64-bit file positions, the process id, the environment, and what
// separates folders in a path. Only this header and the two platform_*.cpp
// files know which system they are built for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

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

// An environment variable's value as the system reads it (on Windows the
// name in any case); nothing when it is not set.
std::optional<std::string> environment(const char* name);

}  // namespace platform
