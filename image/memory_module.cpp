// The memory-module slot and the texts of its "NVMM" block.
#include "image/memory_module.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "common/bytes.hpp"
#include "image/bios_image.hpp"
#include "image/boot_vga.hpp"
#include "image/records.hpp"

namespace {

struct TextCursor {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;

    // The text from here to the next 0 byte (or the end), then past the 0 bytes after it.
    std::string next() {
        std::size_t begin = at;
        while (at < bytes.size() && bytes[at] != 0) ++at;
        std::string text(reinterpret_cast<const char*>(bytes.data() + begin), at - begin);
        while (at < bytes.size() && bytes[at] == 0) ++at;
        return text;
    }
};

}  // namespace

std::optional<MemoryModule> find_memory_module(const BiosImage& image) {
    const std::optional<std::uint32_t> k = paragraph_record_end(image.bytes, image.top_base, kNvdammText);
    if (!k) return std::nullopt;
    std::uint8_t record[kParagraph];
    if (read_window(image.bytes, std::uint64_t{image.top_base} + *k - kParagraph, record) < kSlotEndAt + 2)
        return std::nullopt;
    MemoryModule module;
    module.start = bytes::le16(record + kSlotStartAt);
    module.end = bytes::le16(record + kSlotEndAt);

    // Search positions start..end (inclusive) of the slot, inside the file only.
    const std::int64_t base = std::int64_t{image.file_size} - kSlotBase;
    std::int64_t first = std::max<std::int64_t>(base + module.start, 0);
    std::int64_t last = base + module.end;  // last position where "NVMM" may begin
    if (module.end < module.start || last < first || first >= image.file_size) return std::nullopt;
    std::vector<std::uint8_t> slot(static_cast<std::size_t>(last - first) + kNvmmText.size());
    std::size_t got = read_window(image.bytes, static_cast<std::uint64_t>(first), slot);
    std::span<const std::uint8_t> in_file(slot.data(), got);
    std::optional<std::size_t> match;
    for (std::size_t p = 0; p <= static_cast<std::size_t>(last - first); ++p) {
        if (bytes::has_text(in_file, p, kNvmmText)) {
            match = p;
            break;
        }
    }
    if (!match) return std::nullopt;

    // "NVMM" and the 48 bytes after it; the texts end at the end of the file.
    module.block = static_cast<std::uint32_t>(first + static_cast<std::int64_t>(*match));
    std::array<std::uint8_t, kNvmmText.size() + kNvmmTextsLength> block;
    std::size_t block_got = read_window(image.bytes, module.block, block);
    TextCursor texts{std::span<const std::uint8_t>(block.data(), block_got)};
    for (std::string& text : module.texts) text = texts.next();
    return module;
}
