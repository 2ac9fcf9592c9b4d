// Pointers and sums brought up to date at the end of a run.
//
// Check bytes of the compressed area, in the 4 KB checksum block:
//   +0xFFE  S, the 8-bit sum of the bytes from the first member up to +0xFFE
//   +0xFFF  S - E + F, with E and F the two bytes as they stood
// The word that balances the file's word sum: at the "IMD$" block when the
// image resets it, else at top_base + 0x1E054.
#include "image/fixups.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "common/byte_sums.hpp"
#include "common/bytes.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "image/records.hpp"

namespace {

inline constexpr std::uint32_t kSumWordFromTop = 0x1E054;
inline constexpr std::string_view kImdText = "IMD$";

std::uint8_t read8(const BiosImage& image, std::uint64_t at) {
    std::uint8_t b[1];
    read_window(image.bytes, at, b);
    return b[0];
}

std::uint16_t read16(const BiosImage& image, std::uint64_t at) {
    std::uint8_t b[2];
    read_window(image.bytes, at, b);
    return bytes::le16(b);
}

void write8(WriteScope& scope, std::uint64_t at, std::uint8_t value) {
    scope.write(at, std::span(&value, 1));
}

void write16(WriteScope& scope, std::uint64_t at, std::uint16_t value) {
    std::uint8_t b[2];
    bytes::put16(b, value);
    scope.write(at, b);
}

// The sums of the bytes in [from, to) that stand at even and at odd offsets
// of the file: the byte sum is their sum, the word sum even + 256 * odd.
struct HalfSums {
    std::uint64_t even = 0, odd = 0;
};

HalfSums half_sums(const BiosImage& image, std::uint64_t from, std::uint64_t to) {
    HalfSums sums;
    const std::uint64_t size = image.bytes.size(), inside = std::min(to, size);
    if (from < inside) {
        const EvenOddSums s = even_odd_sums(std::span(image.bytes).subspan(from, inside - from));
        // Index 0 of the span is offset `from` of the file.
        sums.even = from % 2 == 0 ? s.even : s.odd;
        sums.odd = from % 2 == 0 ? s.odd : s.even;
    }
    // Past the file's end the bytes read as 0xFF, as read_window gives them.
    if (const std::uint64_t past = std::max(from, size); to > past) {
        const std::uint64_t evens = (to + 1) / 2 - (past + 1) / 2;
        sums.even += 0xFF * evens;
        sums.odd += 0xFF * (to - past - evens);
    }
    return sums;
}

// The 8-bit sum of the bytes in [from, to).
std::uint8_t byte_sum(const BiosImage& image, std::uint64_t from, std::uint64_t to) {
    const HalfSums s = half_sums(image, from, to);
    return static_cast<std::uint8_t>(s.even + s.odd);
}

bool has_boot_record(const BiosImage& image) {
    return image.bbss_offset != kNoBootRecord;
}

// Step 1: the "*BS1" pointer rewritten from the free pointer; the check
// bytes follow the change of its bytes.
void write_free_pointer(WriteScope& scope) {
    const BiosImage& image = scope.image();
    const std::uint32_t size = image.file_size;
    const std::optional<std::uint32_t> pointer = free_pointer_to_write(image);
    if (size == 0 || !pointer || !image.bs1_marker) return;  // no free pointer is known: nothing to write
    const std::uint64_t at = std::uint64_t{*image.bs1_marker} + kBs1AddressAt;
    std::uint8_t old_bytes[4], new_bytes[4];
    if (read_window(image.bytes, at, old_bytes) != sizeof old_bytes) return;
    bytes::put32(new_bytes, *pointer - size);  // the physical address, modulo 2^32
    scope.write(at, new_bytes);
    int d = 0;
    for (int i = 0; i < 4; ++i) d += new_bytes[i] - old_bytes[i];
    if (!has_boot_record(image)) return;  // no check bytes to keep
    const std::uint64_t check = std::uint64_t{image.checksum_block} + kCheckBytesAt;
    write8(scope, check, static_cast<std::uint8_t>(read8(image, check) + d));
    write8(scope, check + 1, static_cast<std::uint8_t>(read8(image, check + 1) + 2 * d));
}

// Step 2: the bank block's last byte is the sum of the bytes before it.
void write_bank_check_byte(WriteScope& scope) {
    const BiosImage& image = scope.image();
    const std::optional<ByteRange> last = region_range(image, Region::BankCheckByte);
    if (!last) return;
    const std::uint64_t record = std::uint64_t{image.boot_window} + image.bbss_offset;
    const std::uint64_t block = image.boot_window + (read16(image, record + kBbssBankAt) & 0xFFF0u);
    write8(scope, last->begin, byte_sum(image, block, last->begin));
}

// Step 3: the compressed area's check bytes.
void write_area_check_bytes(WriteScope& scope) {
    const BiosImage& image = scope.image();
    const std::uint64_t check = std::uint64_t{image.checksum_block} + kCheckBytesAt;
    const std::uint8_t s = byte_sum(image, image.first_member, std::max<std::uint64_t>(check, image.first_member));
    const std::uint8_t e = read8(image, check);
    const std::uint8_t f = read8(image, check + 1);
    write8(scope, check, s);
    write8(scope, check + 1, static_cast<std::uint8_t>(s - e + f));
}

// Steps 4 and 5: the "IMD$" area and the file sums. Returns early when the
// area is marked "IMD$": its sums stay as they are.
void balance_file_sums(WriteScope& scope) {
    const BiosImage& image = scope.image();
    if (image.imd_reset) {
        if (imd_area_marked(image)) return;
        std::array<std::uint8_t, kImdBlockSize> block;
        block.fill(0xFF);
        scope.write(image.imd_block, block);
    }
    const std::uint64_t p = image.imd_reset ? image.imd_block : std::uint64_t{image.top_base} + kSumWordFromTop;
    if (p % 2 != 0 || p + 2 > image.file_size) return;  // no word of the sum stands there
    const std::uint16_t t = file_sums(image).words;
    write16(scope, p, static_cast<std::uint16_t>(read16(image, p) - t));
    if (!image.imd_reset) return;
    // Each group FF FF FF FF -> 00 00 FE FF adds 1 to the byte sum and 0 to the word sum.
    const unsigned k = static_cast<std::uint8_t>(0 - file_sums(image).bytes);
    for (unsigned g = 0; g < k; ++g) {
        const std::uint64_t at = p + 2 + 4 * g;
        write16(scope, at, static_cast<std::uint16_t>(read16(image, at) + 1));
        write16(scope, at + 2, static_cast<std::uint16_t>(read16(image, at + 2) - 1));
    }
}

}  // namespace

std::uint8_t range_byte_sum(const BiosImage& image, std::uint64_t from, std::uint64_t to) {
    return byte_sum(image, from, std::max(from, to));
}

bool imd_area_marked(const BiosImage& image) {
    std::uint8_t head[4];
    read_window(image.bytes, image.imd_block, head);
    return bytes::has_text(head, 0, kImdText);
}

FileSums file_sums(const BiosImage& image) {
    const HalfSums s = half_sums(image, 0, image.file_size);
    FileSums sums{static_cast<std::uint16_t>(s.even + (s.odd << 8)), static_cast<std::uint8_t>(s.even + s.odd)};
    if (image.file_size % 2 != 0) {  // the last byte begins no whole word
        sums.words = static_cast<std::uint16_t>(sums.words - read8(image, image.file_size - 1));
    }
    return sums;
}

void close_image_bookkeeping(ImageWriter& writer, const FixupRequest& run) {
    WriteScope scope(writer, {Region::Bs1Pointer, Region::CheckBytes, Region::BankCheckByte, Region::SumBytes});
    const BiosImage& image = scope.image();
    // A block placed in the run is pointed to whatever the last group did.
    const bool pointer_step = (run.top_block_named || image.bs1_present || image.placed_top_block) &&
                              (image.placed_top_block || !(run.group_failed && !run.err_mode));
    if (pointer_step) {
        write_free_pointer(scope);
        if (image.banked) write_bank_check_byte(scope);
    }
    if (has_boot_record(image)) write_area_check_bytes(scope);
    balance_file_sums(scope);
}
