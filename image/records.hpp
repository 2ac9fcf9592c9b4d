// The records of a system BIOS image that the tool looks up by their marker
// texts: "*BBSS*" (boot block layout), "*BS1" (free-space pointer),
// "*ALIN16*"/"NCPUCODE.BIN" (the uncompressed microcode block's trailer),
// and the 16-byte boot-block records ("*BT-VGA*", "BtBkVgaRom", "*NVDAMM*").
// Also the bounded window reads everything here is built on.
//
// Every search reads the image's bytes in memory and never outside them: a
// record whose marker or value would lie (partly) outside the file counts as
// absent.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::uint32_t kWindowSize = 0x10000;  // largest read of the image
inline constexpr std::uint32_t kTopSize = 0x20000;     // the boot block: top 128 KB

// "*BBSS*" record: words at these distances from its first "*".
inline constexpr std::string_view kBbssText = "*BBSS*";
inline constexpr std::uint32_t kNoBootRecord = 0xFFFA;  // bbss_offset when not found
inline constexpr std::uint32_t kBbssImdFlagAt = 26;     // byte this far *before* the record
inline constexpr std::uint32_t kBbssBankAt = 6;         // bank word / bank number byte
inline constexpr std::uint32_t kBbssChecksumAt = 8;
inline constexpr std::uint32_t kBbssAreaEndAt = 12;
inline constexpr std::uint32_t kBbssImdAt = 18;
inline constexpr std::uint32_t kBbssMicrocodeAt = 0x21;  // unaligned word
inline constexpr std::uint32_t kBankLengthAt = 0xA;      // word inside the bank block

// "*BS1" record: "*BS1", seven bytes, then a 32-bit physical address at +11.
inline constexpr std::string_view kBs1Text = "*BS1";
inline constexpr std::uint32_t kBs1AddressAt = 11;
inline constexpr std::uint32_t kBs1ScanFrom = 0x1FFFF;  // scans start at file_size - this

// Microcode trailer, 32 bytes ending at area_end:
//   0 "*ALIN16*"  8 length (32-bit)  12 zero (32-bit)  16 "NCPUCODE.BIN\0"  29 three zero bytes
inline constexpr std::string_view kAlin16Text = "*ALIN16*";
inline constexpr std::uint32_t kNcpuTrailerSize = 32;
inline constexpr std::uint32_t kNcpuLengthAt = 8;
inline constexpr std::uint32_t kNcpuNameAt = 16;
inline constexpr std::string_view kNcpuName{"NCPUCODE.BIN\0", 13};  // with its 0 byte

// 16-byte records of the boot block, searched at 16-byte steps from top_base.
inline constexpr std::uint32_t kParagraph = 16;
inline constexpr std::uint32_t kParagraphRange = 0x1E000;  // result when not found

// The image's bytes, as every reader takes them.
using ImageBytes = std::span<const std::uint8_t>;

// Reads buf.size() bytes at `offset`. Bytes outside the file are set to 0xFF
// (they read as erased space). Returns how many bytes came from the file.
std::size_t read_window(ImageBytes image, std::uint64_t offset, std::span<std::uint8_t> buf);

// The first position p with begin <= p < limit where `text` stands wholly
// inside the file, byte for byte; nothing when there is none.
std::optional<std::uint32_t> find_text(ImageBytes image, std::uint32_t begin, std::uint32_t limit,
                                       std::string_view text);

// A 32-bit value at `offset`, or nothing when its four bytes are not all in the file.
std::optional<std::uint32_t> read_u32_at(ImageBytes image, std::uint64_t offset);

struct BootRecordSearch {
    std::uint32_t bbss_offset = kNoBootRecord;  // position inside the window, or kNoBootRecord
    int window = 1;                             // the window searched last: 0 the one at top_base, 1 the one above it
};

// Searches "*BBSS*" in the 64 KB window at top_base, then in the one at
// top_base + 0x10000, in place. A text starting at window position 0xFFFA
// or later is not seen (it does not fit the window); the bytes of a window
// outside the file read as 0xFF (read_window), which the text holds none of.
BootRecordSearch find_boot_record(ImageBytes image, std::uint32_t top_base);

// The first "*BS1" marker from file_size - 0x1FFFF (or 0) up to, not
// including, `limit`; nothing when there is none.
std::optional<std::uint32_t> find_bs1_marker(ImageBytes image, std::uint32_t limit);

// The file offset the "*BS1" record at `marker` points at: its address +
// file_size, modulo 2^32. Nothing when the address is 0 or 0xFFFFFFFF (no
// pointer), lies outside the file, or the offset would lie past its end.
std::optional<std::uint32_t> bs1_pointer(ImageBytes image, std::uint32_t marker);

// The file offset that the "*BS1" record's address names: scans from
// file_size - 0x1FFFF (or 0) to the end of the file; the address + file_size,
// modulo 2^32. 0 when the marker is missing, the address is 0 or 0xFFFFFFFF
// (no pointer), or the offset would lie past the end of the file.
std::uint32_t find_bs1_address(ImageBytes image);

// The length after the first "*ALIN16*" at or after find_bs1_address's
// offset; 0 when there is none before the end of the file.
std::uint32_t find_alin16_value(ImageBytes image);
// The same from `from` on.
std::uint32_t find_alin16_value(ImageBytes image, std::uint32_t from);

// Looks at the 16-byte records from `start` on (at most 0x1E000 bytes) for
// one whose first bytes are `text` (exact bytes): the distance from `start`
// to the end of the first that matches (16 for the first record). Nothing
// when none does; the last record of the range, which ends 0x1E000 bytes
// on, counts as none either. Records outside the file do not match.
std::optional<std::uint32_t> paragraph_record_end(ImageBytes image, std::uint32_t start, std::string_view text);

// Whether a ROM ("55 AA 00 00") follows that record, or follows the
// 0x1E000 bytes from `start` when there is none.
bool rom_after_paragraph_record(ImageBytes image, std::uint32_t start, std::string_view text);

// The microcode trailer ending at `area_end`, read once: its 32 bytes as
// they stand and the length word; nothing unless "NCPUCODE.BIN\0" stands at
// area_end - 16 (the mark every reader goes by).
struct TopTrailer {
    std::array<std::uint8_t, kNcpuTrailerSize> bytes{};
    std::uint32_t length = 0;
};
std::optional<TopTrailer> read_top_trailer(ImageBytes image, std::uint32_t area_end);
// The trailer an added block of `length` bytes gets: "*ALIN16*", the
// length, zeros and the name.
std::array<std::uint8_t, kNcpuTrailerSize> top_trailer(std::uint32_t length);

// Length of the uncompressed microcode block below `area_end`: the length
// word of the trailer, else 0. Also 0 when the block that length describes
// would start before the file.
std::uint32_t ncpu_trailer_size(ImageBytes image, std::uint32_t area_end);
// True when the trailer stands there (a block of any length).
bool ncpu_trailer_present(ImageBytes image, std::uint32_t area_end);
