// The fixed names of the work files the tool leaves in the current
// directory, and how they are written. A work file is a by-product: no
// operation reads one back to learn what it just wrote.
#pragma once

#include <cstdint>
#include <span>

namespace work_file {
inline constexpr const char* kArchive = "bios.rom";        // the last packed component (left behind)
inline constexpr const char* kTemporary = "tempbios.rom";  // archive under construction
inline constexpr const char* kExpanded = "original.tmp";   // the last expanded component (left behind)
inline constexpr const char* kMemberCopy = "FILE_BUF.BIN"; // a member copied out of the image
inline constexpr const char* kBody = "FILE_TEM.STV";       // the body of a DOS executable
inline constexpr const char* kTopMicrocode = "NCPUCODE.BIN";  // the body for the top block (left behind)
inline constexpr const char* kCpuCode = "CPU_FILE.STV";    // the CPU microcode component, expanded
inline constexpr const char* kBitmap = "KorvaBmp.bmp";     // a converted bitmap
inline constexpr const char* kMibText = "KorvaMIB.doc";    // a converted text document
inline constexpr const char* kJpeg = "KRV-JPEG.BIN";       // a JPEG file with its 16-byte prefix
inline constexpr const char* kStdBitmap = "StdBMP.BMP";    // a picture turned back into a bitmap
}  // namespace work_file

// Writes the work file `name` whole or not at all (a temporary file of this
// process and a rename, see replace_file). False, with "Can't write %s" on
// the console channel, when it cannot be written.
[[nodiscard]] bool keep_work_file(const char* name, std::span<const std::uint8_t> data);
