// The microcode rows and tables of the component listing.
#include "insert/microcode_report.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/listing_row.hpp"
#include "image/bios_image.hpp"
#include "image/records.hpp"

namespace {

// Intel header words.
inline constexpr std::size_t kRevisionAt = 4;
inline constexpr std::size_t kSignatureAt = 12;
inline constexpr std::size_t kSignatureFamilyAt = 13;  // byte that picks the package
inline constexpr std::size_t kFlagsAt = 24;
inline constexpr std::size_t kTotalSizeAt = 32;
inline constexpr std::size_t kIntelHeaderWords[] = {0, 4, 8, 12, 16, 20};
inline constexpr std::size_t kIntelFieldsEnd = 28;

// Bridge layout.
inline constexpr std::size_t kBridgeUpdateAt = 4;
inline constexpr std::size_t kBridgeSumAt = 12;
inline constexpr std::size_t kNorthAt = 16;
inline constexpr std::size_t kSouthAt = 20;
inline constexpr std::size_t kBridgeCpuidAt = 24;
inline constexpr std::size_t kBridgeSumFrom = 64;
inline constexpr std::size_t kBridgeSumTo = 1856;  // end, exclusive
inline constexpr int kBridgeSeparatorColumn = 39;
inline constexpr int kBridgeSecondCellColumn = 42;

inline constexpr std::size_t kBootTableEntries = kWindowSize / kMicrocodeEntrySize;  // 32

std::uint32_t word_sum(std::span<const std::uint8_t> bytes_, std::size_t from, std::size_t to) {
    std::uint32_t sum = 0;
    for (std::size_t at = from; at + 4 <= to; at += 4) sum += bytes::le32(bytes_.data() + at);
    return sum;
}

const char* package_text(std::uint8_t flags, std::uint8_t family) {
    switch (flags) {
    case 1:
    case 2: return family == 0x0F ? "SERVER" : "SLOT1 ";
    case 4: return family < 0x0F ? "SLOT2 " : "PGA478";
    case 8: return "MOBILE";
    case 16: return family < 0x0F ? "PPGA  " : "PGA423";
    default: return "SLOT1 ";
    }
}

bool is_intel_entry(std::span<const std::uint8_t> e, std::uint32_t length) {
    if (e.size() < kIntelFieldsEnd) return false;
    if (length != 0 && (e.size() < length || word_sum(e, 0, length / 4 * 4) != 0)) return false;
    for (std::size_t at : kIntelHeaderWords)
        if (bytes::le32(e.data() + at) == 0) return false;
    return true;
}

bool is_bridge_entry(std::span<const std::uint8_t> e) {
    return e.size() >= kBridgeSumTo &&
           word_sum(e, kBridgeSumFrom, kBridgeSumTo) == bytes::le32(e.data() + kBridgeSumAt);
}

// The separator or line end after a cell of the four-to-a-line grid.
int close_grid_cell(int column) {
    console::move_to_column(column);
    if (column > kCellWrapColumn) {
        console::out("\n");
        return kIntelFirstColumn;
    }
    console::out("|  ");
    return column + kIntelColumnStep;
}

// A bridge cell takes the left or the right half of a line (the second and
// fourth slots of the Intel grid), so the returned column keeps the grid.
int print_bridge_cell(std::span<const std::uint8_t> e) {
    if (console::column() > kBridgeSecondCellColumn) console::out("\n");
    bool left_half = console::column() == 0;
    std::uint32_t north = bytes::le32(e.data() + kNorthAt);
    std::uint32_t south = bytes::le32(e.data() + kSouthAt);
    if (north != 0 || south != 0)
        console::outf("%08X %08X", north, south);
    else
        console::out(std::string(17, ' '));  // keeps the update ID under its heading
    console::outf("     %04X", bytes::le32(e.data() + kBridgeUpdateAt));
    console::outf("     %04X", bytes::le32(e.data() + kBridgeCpuidAt));
    if (!left_half) {
        console::out("\n");
        return kIntelFirstColumn;
    }
    console::move_to_column(kBridgeSeparatorColumn);
    console::out("|  ");
    return kIntelFirstColumn + 2 * kIntelColumnStep;
}

// The boot-block table's 64 KB window; erased when there is none.
std::vector<std::uint8_t> boot_block_table(const BiosImage& image) {
    std::vector<std::uint8_t> table(kWindowSize, 0xFF);
    if (image.bbss_offset != kNoBootRecord && image.microcode_table != 0)
        read_window(image.bytes, image.microcode_table, table);
    return table;
}

void print_table_heading(std::span<const std::uint8_t> table) {
    if (is_bridge_entry(table)) {
        console::out("    Bridge ID                          |     Bridge ID                         \n");
        console::out(" North    South      Update ID  CPUID  |  North    South      Update ID  CPUID \n");
        console::out("---------------------------------------+----------------------------------------");
    } else {
        console::out("Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID\n");
        console::out("------------------+--------------------+--------------------+-------------------");
    }
}

// Each place the report reads entries from, in the report's order: the
// boot-block table, the component the walk captured, the top block. `visit`
// gets the source, its bytes, the entry's offset in them, the entry's length
// and the file offset of the bytes' start (0 for the component).
template <typename Visit>
void visit_entries(const BiosImage& image, const MicrocodeCapture& capture, Visit visit) {
    const std::vector<std::uint8_t> table = boot_block_table(image);
    for (std::size_t i = 0; i < kBootTableEntries; ++i) {
        std::size_t offset = i * kMicrocodeEntrySize;
        if (table[offset] == 0x00 || table[offset] == 0xFF) break;
        visit(MicrocodeSource::BootBlockTable, std::span<const std::uint8_t>(table), offset, kMicrocodeEntrySize,
              image.microcode_table);
    }
    if (capture.captured) {
        std::span<const std::uint8_t> component(capture.data.data(),
                                                std::min<std::size_t>(capture.data.size(), capture.original_size));
        for (std::size_t offset = 0; offset < component.size(); offset += kMicrocodeEntrySize)
            visit(MicrocodeSource::Component, component, offset, kMicrocodeEntrySize, 0u);
    }
    std::uint32_t block = find_bs1_address(image.bytes);
    if (block == 0) return;
    std::vector<std::uint8_t> window(kWindowSize);
    std::size_t got = read_window(image.bytes, block, window);
    std::span<const std::uint8_t> in_file(window.data(), got);
    const std::uint64_t limit = find_alin16_value(image.bytes);
    for (std::uint64_t offset = 0; offset + kTotalSizeAt + 4 <= in_file.size();) {
        std::uint32_t total = bytes::le32(in_file.data() + offset + kTotalSizeAt);
        if (total == 0xFFFFFFFFu) break;
        std::uint64_t length = total == 0 ? kMicrocodeEntrySize : total;
        // The entry must end below the block's length and inside the window read.
        if (offset + length - 1 >= limit || offset + length > in_file.size()) break;
        visit(MicrocodeSource::TopBlock, in_file, static_cast<std::size_t>(offset), static_cast<std::uint32_t>(length),
              block);
        offset += length;
    }
}

// The fields of the entry at `offset` of `buffer`, as the report's cells show them.
std::optional<MicrocodeEntry> decode_entry(std::span<const std::uint8_t> buffer, std::size_t offset,
                                           std::uint32_t length) {
    if (offset >= buffer.size()) return std::nullopt;
    std::span<const std::uint8_t> e = buffer.subspan(offset);
    MicrocodeEntry entry;
    if (is_intel_entry(e, length)) {
        entry.package = package_text(e[kFlagsAt], e[kSignatureFamilyAt]);
        entry.revision = e[kRevisionAt];
        entry.signature = bytes::le16(e.data() + kSignatureAt);
        return entry;
    }
    if (!is_bridge_entry(e)) return std::nullopt;
    entry.bridge = true;
    entry.north = bytes::le32(e.data() + kNorthAt);
    entry.south = bytes::le32(e.data() + kSouthAt);
    entry.update_id = bytes::le32(e.data() + kBridgeUpdateAt);
    entry.cpuid = bytes::le32(e.data() + kBridgeCpuidAt);
    return entry;
}

}  // namespace

void list_ncpu_block(BiosImage& image) {
    if (image.ncpu_size == 0) return;
    std::uint8_t name[kNcpuName.size()];
    read_window(image.bytes, image.area_end - (kNcpuTrailerSize - kNcpuNameAt), name);
    std::size_t length = std::find(name, name + sizeof name, 0) - name;
    print_listing_row("(SP) NCPUCODE        ", image.ncpu_size, size_text(image.ncpu_size),
                      std::string_view(reinterpret_cast<const char*>(name), length));
}

int print_microcode_entry(std::span<const std::uint8_t> buffer, std::size_t offset, int column,
                          std::uint32_t length) {
    const std::optional<MicrocodeEntry> entry = decode_entry(buffer, offset, length);
    if (!entry) return column;
    if (entry->bridge) return print_bridge_cell(buffer.subspan(offset));
    console::out(entry->package);
    console::outf(" %02X   %04X", entry->revision, entry->signature);
    return close_grid_cell(column);
}

void print_microcode_report(BiosImage& image, const MicrocodeCapture& capture) {
    console::out("\n                          ** Micro Code Information **\n");
    print_table_heading(boot_block_table(image));
    int column = kIntelFirstColumn;
    visit_entries(image, capture,
                  [&column](MicrocodeSource, std::span<const std::uint8_t> buffer, std::size_t offset,
                            std::uint32_t length, std::uint32_t) {
                      column = print_microcode_entry(buffer, offset, column, length);
                  });
    // No line end of its own: a line with fewer than four cells stays open
    // after its last "|  ", as on the console.
}

std::vector<MicrocodeEntry> microcode_entries(const BiosImage& image, const MicrocodeCapture& capture) {
    std::vector<MicrocodeEntry> entries;
    visit_entries(image, capture,
                  [&entries](MicrocodeSource source, std::span<const std::uint8_t> buffer, std::size_t offset,
                             std::uint32_t length, std::uint32_t base) {
                      std::optional<MicrocodeEntry> entry = decode_entry(buffer, offset, length);
                      if (!entry) return;
                      entry->source = source;
                      entry->offset = static_cast<std::uint32_t>(base + offset);
                      entries.push_back(*entry);
                  });
    return entries;
}
