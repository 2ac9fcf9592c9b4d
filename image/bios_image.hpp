// One open system BIOS image and the positions worked out once when it is
// opened: the boot block (top 128 KB) and its "*BBSS*" record, the end of
// the compressed area, the first member (the system BIOS) and the start of
// the chain behind it, the uncompressed microcode block and the "*BS1"
// free-space pointer.
//
// A run works on the image in memory: it is read whole when it is opened,
// every group reads and changes `bytes`, and save_image (image_file.hpp)
// writes the bytes that changed back into the file at the end of the run.
// A run that ends early (a fatal error) writes nothing.
//
// Images of any size are accepted. Files smaller than 128 KB have their boot
// block clamped to the whole file (top_base 0), and every position a record
// gives is checked against the file: a record pointing outside it counts as
// absent, so no later read or write that uses these fields leaves the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr std::uint32_t kDefaultAreaEnd = 0xB000;     // area_end with no "*BBSS*" record
inline constexpr std::uint32_t kSystemBiosSegment = 0x5000;  // TypeId segment of the system BIOS
inline constexpr std::uint32_t kFirstMemberMinSpace = 0x10000;
inline constexpr std::uint32_t kLogoFlagsFromEnd = 0x1FA6;
inline constexpr std::uint32_t kChecksumBlockSize = 0x1000;
inline constexpr std::uint32_t kImdBlockSize = 0x400;
inline constexpr std::uint32_t kCheckBytesAt = 0xFFE;  // the area's two check bytes in the checksum block
// The largest file opened as an image: sixteen times the largest BIOS image.
inline constexpr std::uint32_t kMaxImageSize = 16u << 20;

// A byte range [begin, end) of the image.
struct ByteRange {
    std::uint32_t begin = 0, end = 0;
};

struct BiosImage {
    std::string path;                   // the InputFile, for messages
    bool read_only = false;             // not writable: the groups that would change it are refused
    std::vector<std::uint8_t> bytes;    // the image as the run has it
    std::vector<std::uint8_t> on_disk;  // the file as it was read (empty for a run that only reads it)

    std::uint32_t file_size = 0;  // the size of the file as it was read
    bool large_image = false;     // file_size / 0x10000 > 4 (512 KB and 1 MB images)
    std::uint32_t top_base = 0;   // file_size - 0x20000; 0 for files below 128 KB
    std::uint8_t logo_flags = 0;  // byte at file_size - 0x1FA6; 0 when the file is shorter

    // "*BBSS*" record.
    std::uint32_t boot_window = 0;             // top_base or top_base + 0x10000: the window holding it
    std::uint32_t bbss_offset = 0xFFFA;        // its position in boot_window; 0xFFFA when absent
    bool banked = false;                       // banked address form (large images only)
    bool imd_reset = false;                    // bit 1 of the byte 26 bytes before the record; clear when absent
    std::uint32_t area_end = kDefaultAreaEnd;  // the chain stays below it; never past the file
    std::uint32_t checksum_block = 0;          // 4 KB block with the area's check bytes at +0xFFE/+0xFFF; 0 when absent
    std::uint32_t imd_block = 0;               // 1 KB "IMD$" block; only meaningful with imd_reset
    std::uint32_t microcode_table = 0;         // 64 KB window of the microcode table; 0 when absent or outside

    // Members.
    std::uint32_t first_member = 0;  // the system BIOS member; 0 for small images
    std::uint32_t chain_start = 0;   // first further member; 0 when a small image has no
                                     // system BIOS at offset 0 (or a large one has no "-lh")
    std::uint32_t ncpu_size = 0;     // uncompressed microcode block below area_end, 0 when none
    bool ncpu_block = false;         // its trailer stands below area_end (also with a length of 0)

    // "*BS1" record.
    std::optional<std::uint32_t> bs1_marker;  // where "*BS1" stands (the first in the top 128 KB)
    bool bs1_present = false;                 // it holds a pointer, and stands below file_size - 0x3FFF
    std::uint32_t free_pointer = 0;           // its address as a file offset; 0 when absent

    // Not layout: a top block placed in this run starts here, and the
    // fix-ups point "*BS1" at it, whatever later groups do.
    std::optional<std::uint32_t> placed_top_block;
};

// The free pointer the fix-ups write: a top block placed in the run, else
// the record's; nothing when neither is known.
std::optional<std::uint32_t> free_pointer_to_write(const BiosImage& image);

// Works out every layout field from `bytes` (the path, the bytes and
// placed_top_block are kept): what open_image does once, and the writer
// again after each change.
void analyse_layout(BiosImage& image);

// The start of the uncompressed microcode block below area_end when its
// trailer stands there, else area_end.
std::uint32_t top_block_start(const BiosImage& image);

// The position of the area's check bytes (checksum_block + 0xFFE), when the
// image has a "*BBSS*" record.
std::optional<std::uint32_t> check_bytes_position(const BiosImage& image);

// Where the chain's space ends: the top block's start, or the area's check
// bytes when they stand between the chain's start and that (a checksum block
// that is the last 4 KB of the area): no member may reach over them.
std::uint32_t chain_space_end(const BiosImage& image);

// The space the system BIOS member at `position` takes: the larger of
// 0x10000 and H + P + 4, cut at the end of the file (the chain starts
// there); 0 when `position` is not inside the file.
std::uint32_t system_bios_space(std::uint32_t position, std::uint8_t header_size, std::uint32_t packed_size,
                                std::uint32_t file_size);

// Where the system BIOS member stands: first_member in a large image; in a
// small one 0, or top_base when the chain starts at 0.
std::uint32_t system_bios_position(const BiosImage& image);

// Why the image is no BIOS image ("its size, 1000h bytes, is ..."): a size
// below 128 KB or not a multiple of 64 KB, or no member where the system
// BIOS belongs. Nothing for a BIOS image.
std::optional<std::string> not_a_bios_image(const BiosImage& image);

// How an image file could not be opened.
enum class OpenFailure { NotFound, TooLarge };

struct OpenedImage {
    std::optional<BiosImage> image;
    OpenFailure failure = OpenFailure::NotFound;  // when `image` is empty
};

// Reads the file `path` whole (read_only set when it cannot be written) and
// works out every field above. NotFound: it is no regular file or cannot be
// read; TooLarge: it is larger than kMaxImageSize. Without `keep_as_read`
// (a run that only reads the image, and saves nothing) on_disk stays empty:
// no second copy of the image is made.
OpenedImage open_image(const std::string& path, bool keep_as_read = true);
