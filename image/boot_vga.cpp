// The listing's view of the boot-block VGA ROM.
#include "image/boot_vga.hpp"

#include <algorithm>
#include <array>

#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/listing_row.hpp"
#include "image/bios_image.hpp"
#include "image/chain.hpp"
#include "image/member_name.hpp"
#include "image/records.hpp"

void list_boot_block_vga(BiosImage& image) {
    std::uint32_t k = find_paragraph_marker(image.file, image.top_base, true, kBtVgaText);
    if (k >= kParagraphRange) return;
    std::uint8_t record[kParagraph];
    std::uint64_t record_at = std::uint64_t{image.top_base} + k - kParagraph;
    if (read_window(image.file, record_at, record) < kSlotStartAt + 2) return;
    std::uint16_t start = bytes::le16(record + kSlotStartAt);

    // The slot lies in the top 64 KB; in a smaller file part of it is outside.
    std::int64_t h = std::int64_t{image.file_size} - kSlotBase + start;
    if (h < 0 || h >= image.file_size) return;
    std::array<std::uint8_t, kLongestHeader> header;
    std::size_t got = read_window(image.file, static_cast<std::uint64_t>(h), header);
    if (got <= kNameLengthAt) return;  // not even the fixed fields are in the file
    if (!bytes::has_text(header, kMethodAt, "-lh")) return;  // erased or foreign bytes
    std::uint32_t original = bytes::le32(header.data() + kOriginalSizeAt);
    if (original == 0) return;

    std::uint32_t packed = bytes::le32(header.data() + kPackedSizeAt);
    std::uint32_t member = packed + header[kHeaderSizeAt] + 3;  // with its end byte, 32-bit
    print_listing_row("(BB) Compress BT-VGA ", original, size_text(packed, member / 1024.0),
                      listed_member_name(std::span(header.data(), got)));
}

void report_on_board_vga(BiosImage& image) {
    std::uint32_t found = find_paragraph_marker(image.file, image.top_base, false, kBtBkVgaText);
    if (found == 0) found = find_paragraph_marker(image.file, image.top_base, false, kBtVgaText);
    if (found == 1) console::out("\n ****** On Board VGA ROM In BootBlock ******\n");
}
