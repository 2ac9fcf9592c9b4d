// The boot-block VGA room and slot, and the on-board VGA ROM.
#include "image/boot_vga.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "archive/member_header.hpp"
#include "common/bytes.hpp"
#include "image/bios_image.hpp"
#include "image/records.hpp"

bool has_on_board_vga(const BiosImage& image) {
    return rom_after_paragraph_record(image.bytes, image.top_base, kBtBkVgaText) ||
           rom_after_paragraph_record(image.bytes, image.top_base, kBtVgaText);
}

std::optional<ByteRange> find_boot_room(const BiosImage& image) {
    const std::optional<std::uint32_t> k = paragraph_record_end(image.bytes, image.top_base, kBtBkVgaText);
    if (!k) return std::nullopt;
    return ByteRange{image.top_base + *k, image.top_base + kBootRoomEnd};
}

std::optional<BootSlot> find_boot_slot(const BiosImage& image, std::string_view text) {
    const std::optional<std::uint32_t> k = paragraph_record_end(image.bytes, image.top_base, text);
    if (!k) return std::nullopt;
    std::uint8_t record[kParagraph];
    if (read_window(image.bytes, std::uint64_t{image.top_base} + *k - kParagraph, record) < kSlotEndAt + 2)
        return std::nullopt;
    BootSlot slot;
    slot.start = bytes::le16(record + kSlotStartAt);
    slot.end = bytes::le16(record + kSlotEndAt);
    const std::int64_t base = std::int64_t{image.file_size} - kSlotBase;
    if (base + slot.start < 0 || slot.end < slot.start || base + slot.end > image.file_size) return std::nullopt;
    slot.begin = static_cast<std::uint32_t>(base + slot.start);
    slot.limit = static_cast<std::uint32_t>(base + slot.end);
    return slot;
}
