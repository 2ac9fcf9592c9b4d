// Microcode captured from the chain and the entries of the listing's report.
#include "image/microcode.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "archive/extract.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
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

// The boot-block table's 64 KB window; erased when there is none.
std::vector<std::uint8_t> boot_block_table(const BiosImage& image) {
    std::vector<std::uint8_t> table(kWindowSize, 0xFF);
    if (image.bbss_offset != kNoBootRecord && image.microcode_table != 0)
        read_window(image.bytes, image.microcode_table, table);
    return table;
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
    // The top block "*BS1" points at, and the length its trailer gives.
    const std::uint32_t block = image.bs1_marker ? bs1_pointer(image.bytes, *image.bs1_marker).value_or(0) : 0;
    if (block == 0) return;
    std::vector<std::uint8_t> window(kWindowSize);
    std::size_t got = read_window(image.bytes, block, window);
    std::span<const std::uint8_t> in_file(window.data(), got);
    const std::uint64_t limit = find_alin16_value(image.bytes, block);
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

}  // namespace

std::optional<MicrocodeEntry> decode_microcode_entry(std::span<const std::uint8_t> buffer, std::size_t offset,
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

std::optional<std::uint32_t> microcode_total_size(std::span<const std::uint8_t> buffer, std::size_t offset) {
    const std::optional<std::uint32_t> total = bytes::get32(buffer, offset + kTotalSizeAt);
    if (!total) return std::nullopt;
    return *total == 0 ? kMicrocodeEntrySize : *total;
}

std::uint32_t microcode_word_sum(std::span<const std::uint8_t> entry) {
    return word_sum(entry, 0, entry.size());
}

void capture_microcode(ImageBytes image, const ChainMember& member, MicrocodeCapture& capture) {
    capture = MicrocodeCapture{};
    const MemberHead& header = member.header;
    const std::uint32_t original = original_size(header);
    if (original > kMaxCapturedSize) return;

    const std::span<const std::uint8_t> at = image.subspan(member.position);
    if (is_stored(header)) {
        // Stored: the data bytes are the component.
        const std::size_t data_at = std::size_t{header_size(header)} + 2;
        const std::size_t n = std::min<std::size_t>(std::min(packed_size(header), original),
                                                    at.size() > data_at ? at.size() - data_at : 0);
        capture.data.assign(at.begin() + static_cast<std::ptrdiff_t>(data_at),
                            at.begin() + static_cast<std::ptrdiff_t>(data_at + n));
    } else {
        Expansion e = expand_member(at, SIZE_MAX, console::voice());
        // A damaged member is said by the listing, which goes on without it.
        if (e.status == Expansion::Status::Damaged) capture.message = std::string(e.damage) + "\n";
        if (e.status == Expansion::Status::UnknownMethod)
            capture.message = "Unknown method: " +
                              std::to_string(static_cast<unsigned>(static_cast<unsigned char>(method_char(e.header)))) +
                              "\n";
        if (e.status != Expansion::Status::Complete) return;
        capture.data = std::move(e.data);
    }
    capture.captured = true;
    capture.original_size = original;
}

MicrocodeReport microcode_report(const BiosImage& image, const MicrocodeCapture& capture) {
    MicrocodeReport report;
    report.bridge_heading = is_bridge_entry(boot_block_table(image));
    visit_entries(image, capture,
                  [&report](MicrocodeSource source, std::span<const std::uint8_t> buffer, std::size_t offset,
                            std::uint32_t length, std::uint32_t base) {
                      std::optional<MicrocodeEntry> entry = decode_microcode_entry(buffer, offset, length);
                      if (!entry) return;
                      entry->source = source;
                      entry->offset = static_cast<std::uint32_t>(base + offset);
                      report.entries.push_back(*entry);
                  });
    return report;
}
