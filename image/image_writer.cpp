// The image's one writer, and the regions it may change.
#include "image/image_writer.hpp"

#include <algorithm>
#include <cstdio>

#include "common/bytes.hpp"
#include "common/fatal.hpp"
#include "image/boot_vga.hpp"
#include "image/chain.hpp"
#include "image/components.hpp"
#include "image/memory_module.hpp"
#include "image/records.hpp"

namespace {

inline constexpr std::uint32_t kSumWordFromTop = 0x1E054;  // the word that balances the sum, from top_base

std::optional<ByteRange> unless_empty(ByteRange r) {
    return r.end > r.begin ? std::optional(r) : std::nullopt;
}

// The bank block's last byte: its length is the word at +0xA of the block
// the "*BBSS*" record's bank word names.
std::optional<ByteRange> bank_check_byte(const BiosImage& image) {
    if (!image.banked || image.bbss_offset == kNoBootRecord) return std::nullopt;
    const std::uint64_t record = std::uint64_t{image.boot_window} + image.bbss_offset;
    std::uint8_t w[2];
    read_window(image.bytes, record + kBbssBankAt, w);
    const std::uint64_t block = image.boot_window + (bytes::le16(w) & 0xFFF0u);
    read_window(image.bytes, block + kBankLengthAt, w);
    const std::uint16_t n = bytes::le16(w);
    if (n == 0 || block + n > image.file_size) return std::nullopt;
    return ByteRange{static_cast<std::uint32_t>(block + n - 1), static_cast<std::uint32_t>(block + n)};
}

std::optional<ByteRange> slot_range(const BiosImage& image, std::string_view text) {
    const std::optional<BootSlot> slot = find_boot_slot(image, text);
    if (!slot) return std::nullopt;
    return ByteRange{slot->begin, slot->limit};
}

[[noreturn]] void refuse(const BiosImage& image, std::uint64_t begin, std::uint64_t end) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Internal error: a change of %05llXh-%05llXh lies outside what the operation may change;"
                  " %s is not written",
                  static_cast<unsigned long long>(begin), static_cast<unsigned long long>(end), image.path.c_str());
    fatal(text);
}

}  // namespace

std::optional<ByteRange> region_range(const BiosImage& image, Region region) {
    switch (region) {
    case Region::SystemBios:
        if (image.chain_start <= system_bios_position(image)) return std::nullopt;
        return ByteRange{system_bios_position(image), image.chain_start};
    case Region::Chain: return chain_range(image);
    case Region::ChainAndTop: return ByteRange{image.chain_start, std::max(image.chain_start, image.area_end)};
    case Region::TopBlock:
        if (!image.ncpu_block) return std::nullopt;
        return ByteRange{top_block_start(image), image.area_end};
    case Region::BootVgaRoom: return find_boot_room(image);
    case Region::BootVgaSlot: return slot_range(image, kBtVgaText);
    case Region::MemorySlot: return slot_range(image, kNvdammText);
    case Region::Bs1Pointer:
        if (!image.bs1_marker) return std::nullopt;
        return ByteRange{*image.bs1_marker + kBs1AddressAt, *image.bs1_marker + kBs1AddressAt + 4};
    case Region::CheckBytes:
        if (const std::optional<std::uint32_t> at = check_bytes_position(image)) return ByteRange{*at, *at + 2};
        return std::nullopt;
    case Region::BankCheckByte: return bank_check_byte(image);
    case Region::SumBytes:
        if (image.imd_reset) return unless_empty({image.imd_block, image.imd_block + kImdBlockSize});
        return ByteRange{image.top_base + kSumWordFromTop, image.top_base + kSumWordFromTop + 2};
    }
    return std::nullopt;
}

const char* region_name(const BiosImage& image, Region region) {
    switch (region) {
    // The regions of a place are named as the reports name the place.
    case Region::SystemBios: return place_row(Place::SystemBios).report;
    case Region::Chain:
    case Region::ChainAndTop: return place_row(Place::Chain).report;
    case Region::TopBlock: return place_row(Place::TopBlock).report;
    case Region::BootVgaRoom:
    case Region::BootVgaSlot: return "boot_block_vga";
    case Region::MemorySlot: return place_row(Place::MemorySlot).report;
    case Region::Bs1Pointer: return "bs1_pointer";
    case Region::CheckBytes: return "check_bytes";
    case Region::BankCheckByte: return "bank_check_byte";
    case Region::SumBytes: return image.imd_reset ? "imd_block" : "sum_word";
    }
    return "other";
}

WriteScope::WriteScope(ImageWriter& writer, std::initializer_list<Region> regions) : image_(writer.image_) {
    for (Region r : regions)
        if (const std::optional<ByteRange> range = region_range(image_, r)) ranges_.push_back(*range);
}

WriteScope::WriteScope(ImageWriter& writer, std::initializer_list<ByteRange> ranges)
    : image_(writer.image_), ranges_(ranges) {}

WriteScope::~WriteScope() {
    analyse_layout(image_);
}

void WriteScope::write(std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (data.empty()) return;
    const std::uint64_t end = offset + data.size();
    const bool inside = end <= image_.bytes.size() &&
                        std::any_of(ranges_.begin(), ranges_.end(),
                                    [&](const ByteRange& r) { return offset >= r.begin && end <= r.end; });
    if (!inside) refuse(image_, offset, end);
    std::copy(data.begin(), data.end(), image_.bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

void WriteScope::remove(std::uint32_t position, std::uint32_t length, std::uint32_t end) {
    const bool inside = end <= image_.bytes.size() &&
                        std::any_of(ranges_.begin(), ranges_.end(),
                                    [&](const ByteRange& r) { return position >= r.begin && end <= r.end; });
    if (!inside) refuse(image_, position, end);
    close_gap(image_.bytes, position, length, end);
}

ByteRange chain_range(const BiosImage& image) {
    return {image.chain_start, std::max(image.chain_start, chain_space_end(image))};
}
