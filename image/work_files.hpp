// The fixed names of the work files the tool leaves in the current
// directory (and of two members it makes), and how they are written. A work
// file is a by-product: no operation reads one back to learn what it just
// wrote.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace work_file {
inline constexpr const char* kArchive = "bios.rom";           // the last packed component (left behind)
inline constexpr const char* kExpanded = "original.tmp";      // an option ROM given as a member, expanded (left behind)
inline constexpr const char* kTopMicrocode = "NCPUCODE.BIN";  // the body for the top block (left behind)
// Names a packed member carries when its bytes were made by the tool.
inline constexpr const char* kBitmap = "KorvaBmp.bmp";  // a converted bitmap of a default executable
inline constexpr const char* kJpeg = "KRV-JPEG.BIN";    // a JPEG file with its 16-byte prefix
}  // namespace work_file

// Where a file the run writes goes: `name` itself, or with a work folder
// (a dry run's private folder) the folder and the last part of `name`.
std::string work_file_path(const std::string& folder, const std::string& name);

// Writes the work file `name` (in `folder`, see work_file_path) whole or not
// at all (a temporary file of this process and a rename, see replace_file):
// what stands under the name, a symbolic link too, is replaced. False, with
// "Can't write %s" on the console channel, when it cannot be written, also
// in a dry run (a work folder) when it could not be written in the current
// directory.
[[nodiscard]] bool keep_work_file(const std::string& folder, const char* name, std::span<const std::uint8_t> data);
