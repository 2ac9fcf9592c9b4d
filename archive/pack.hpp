// Packing one file into the work archive: compressed with LH5 ("-lh5-"), or
// stored ("-lh0-") when compression does not pay or storing is asked for,
// under a member header that carries the current TypeId. The archive ends up
// holding exactly that member and one 0 byte; it is written as
// "tempbios.rom" and renamed to the archive name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/member_header.hpp"
#include "common/file.hpp"

namespace pack_flags {
inline constexpr unsigned kQuiet = 0;
inline constexpr unsigned kVerbose = 1;
inline constexpr unsigned kStore = 2;  // store without compression
}  // namespace pack_flags

// Packs the file `file_name` into the archive named by the archive-name
// setting, under the TypeId text of the settings. `flags`: bit 1 forces
// storing; any other bit of the low eight makes it verbose ("Adding %s "
// ... " %d.%d%%\n" on standard output, dots on the console channel).
// `stored_name` is the name for the header; empty means `file_name`.
// Returns true when the archive holds the new member. Returns false, with
// the archive left as it was, when the input cannot be opened ("Can't open
// %s\n" on the console channel) or the name is longer than 230 bytes
// ("Name too long: %s\n"). An input that
// is the temporary file or the archive itself is refused the same way
// ("Can't pack %s: it is the work file %s\n"), before anything is created,
// so that the caller's file is neither truncated nor replaced.
// Fatal: "Can't open temporary file", "Can't write", "Unable to write",
// "Out of memory."; a fatal write error removes the temporary file. A failed
// rename prints "Can't rename", names the temporary file that keeps the
// member on the console channel, and goes on.
[[nodiscard]] bool pack_component(const std::string& file_name, unsigned flags,
                                  std::string_view stored_name = {});

// Writes one member at the position of `out` from the file `input_name`,
// with `header`'s name and TypeId, and leaves `out` at the member's end.
// Returns false (nothing written) when the input cannot be opened.
// `give_up` set on entry forces storing.
bool write_member(File& out, const std::string& input_name, ComponentHeader& header, bool verbose);

// packed / original in tenths of a percent, rounded to nearest, in 32-bit
// arithmetic that never overflows; 0 when original is 0.
std::uint32_t compression_ratio(std::uint32_t packed, std::uint32_t original);
