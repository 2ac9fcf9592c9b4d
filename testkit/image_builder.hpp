// Synthetic system BIOS images for tests and the demo, laid out byte for
// byte: members (stored "-lh0-" or any method with given data bytes), the
// chain with each member's extra end byte, the "*BBSS*" record (plain or
// banked), the "*BS1" pointer, the microcode block with its "NCPUCODE.BIN"
// trailer and the 16-byte boot-block records. Everything not placed stays
// 0xFF, as erased flash reads.
//
// The builder writes member headers itself (header sum, CRC-16 "ARC"), so
// tests do not depend on the code they test. Every write is bounds-checked:
// a write outside the image throws std::out_of_range.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

inline constexpr std::uint32_t KB = 1024;

// CRC-16 with the reflected polynomial 0xA001, initial value 0.
std::uint16_t crc16_arc(std::span<const std::uint8_t> data);

// One member as it stands in a work archive: header and data.
struct MemberFields {
    std::uint16_t type_segment = 0x7000;
    std::uint16_t type_offset = 0;
    std::string name = "MEMBER.BIN";
    std::string method = "-lh0-";
    std::vector<std::uint8_t> data;  // the bytes after the header (P = data.size())
    // original_size and data_crc default to data's size and CRC (right for "-lh0-").
    std::int64_t original_size = -1;
    std::int32_t data_crc = -1;
};

// Header (H = name length + 25, H + 2 bytes) followed by the data.
std::vector<std::uint8_t> member_bytes(const MemberFields& fields);

// A stored ("-lh0-") member of `size` bytes of a repeating pattern.
MemberFields stored_member(std::uint16_t type_segment, std::uint16_t type_offset, std::string name, std::uint32_t size,
                           std::uint8_t seed = 0x11);

// The "*BBSS*" record. Its words are offsets inside its 64 KB window.
struct BbssFields {
    int window = 0;                 // 0: the window at top_base, 1: the one above it
    std::uint32_t offset = 0x8000;  // position of "*" inside the window (at least 26)
    std::uint16_t w6 = 0;           // banked: bank number in bits 0-3, bank block page in 12-15
    std::uint16_t w8 = 0;           // checksum block (bits 12-15); low bits != 0: banked
    std::uint16_t w12 = 0;          // end of the compressed area (bits 12-15)
    std::uint16_t w18 = 0;          // IMD block
    std::uint16_t w21 = 0;          // microcode table (stored at +0x21, unaligned)
    bool imd_reset = false;         // bit 1 of the byte 26 bytes before the record
    // Banked form: when not 0, written as the word at +0xA of the bank block,
    // the 4 KB page (w6 & 0xF000) of the window.
    std::uint16_t bank_length = 0;
};

struct SyntheticImage {
    std::vector<std::uint8_t> bytes;

    // An image of `size` bytes, all 0xFF.
    explicit SyntheticImage(std::uint32_t size);

    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes.size()); }
    std::uint32_t top_base() const { return size() - 0x20000; }
    // The physical address (top-of-4-GB mapping) of a file offset.
    std::uint32_t physical(std::uint32_t offset) const { return offset - size(); }

    // Raw bytes, text and little-endian values at any offset.
    void put(std::uint32_t offset, std::span<const std::uint8_t> data);
    void put_text(std::uint32_t offset, std::string_view text);
    void put8(std::uint32_t offset, std::uint8_t value);
    void put16(std::uint32_t offset, std::uint16_t value);
    void put32(std::uint32_t offset, std::uint32_t value);
    void fill(std::uint32_t offset, std::uint32_t count, std::uint8_t value);

    // Places member bytes (from member_bytes or any other source) followed by
    // the one extra byte every member keeps in an image; returns the position
    // after that byte, where the next member goes.
    std::uint32_t put_member(std::uint32_t offset, std::span<const std::uint8_t> member, std::uint8_t extra = 0x00);
    std::uint32_t put_member(std::uint32_t offset, const MemberFields& fields);
    // Members one after another from `offset`; returns the end of the chain.
    std::uint32_t put_chain(std::uint32_t offset, const std::vector<MemberFields>& members);

    // The "*BBSS*" record; returns its file offset.
    std::uint32_t put_bbss(const BbssFields& fields);
    // "*BS1", seven 0 bytes, then `address` at +11.
    void put_bs1(std::uint32_t offset, std::uint32_t address);
    // A microcode block of `data` with its 32-byte trailer ending at
    // `area_end`; returns the block's start (area_end - 32 - data.size()).
    std::uint32_t put_ncpu_block(std::uint32_t area_end, std::span<const std::uint8_t> data);
    // A 16-byte record at top_base + 16 * index: `text`, then for the slot
    // records ("*BT-VGA*", "*NVDAMM*") the slot start and end words at +8, +10.
    void put_record16(std::uint32_t index, std::string_view text);
    void put_slot_record(std::uint32_t index, std::string_view text, std::uint16_t start, std::uint16_t end);

    // Writes the image to `path`; throws std::runtime_error on failure.
    void save(const std::string& path) const;
};

}  // namespace testkit
