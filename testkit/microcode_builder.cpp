// Microcode entries and boot-block slots laid out byte for byte.
#include "testkit/microcode_builder.hpp"

#include <stdexcept>

#include "testkit/members.hpp"

namespace testkit {

namespace {

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void set32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t sum_words(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to) {
    std::uint32_t sum = 0;
    for (std::size_t at = from; at + 4 <= to; at += 4) sum += get32(b, at);
    return sum;
}

bool passes_bridge_test(const std::vector<std::uint8_t>& b) {
    return b.size() >= 1856 && sum_words(b, 64, 1856) == get32(b, 12);
}

}  // namespace

std::vector<std::uint8_t> intel_microcode(const IntelEntry& entry) {
    std::size_t size = entry.total_size != 0 ? entry.total_size : 2048;
    if (size < 48 || size % 4 != 0) throw std::invalid_argument("Intel entry size");
    std::vector<std::uint8_t> b(size);
    for (std::size_t i = 48; i < size; ++i) b[i] = static_cast<std::uint8_t>(entry.seed + i * 5 + (i >> 7));
    set32(b, 0, 1);
    set32(b, 4, entry.revision);
    set32(b, 8, 0x07152004);  // date
    set32(b, 12, entry.signature);
    set32(b, 20, 1);
    set32(b, 24, entry.flags);
    set32(b, 28, static_cast<std::uint32_t>(size - 48));  // data size
    set32(b, 32, entry.total_size);
    for (std::uint8_t tweak = 0;; ++tweak) {
        b[size - 1] = tweak;
        set32(b, 16, 0);
        set32(b, 16, 0u - sum_words(b, 0, size));
        if (get32(b, 16) != 0 && !passes_bridge_test(b)) return b;
    }
}

std::vector<std::uint8_t> bridge_microcode(const BridgeEntry& entry) {
    std::vector<std::uint8_t> b(2048);
    for (std::size_t i = 32; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(entry.seed + i * 3 + (i >> 6));
    set32(b, 0, 1);  // a non-zero first byte: the boot-block table goes on to the next entry
    set32(b, 4, entry.update_id);
    set32(b, 8, 0);
    set32(b, 16, entry.north);
    set32(b, 20, entry.south);
    set32(b, 24, entry.cpuid);
    set32(b, 28, 0);
    set32(b, 12, sum_words(b, 64, 1856));
    // Word 8 is 0, so the Intel test fails whatever the whole entry sums to.
    return b;
}

std::vector<std::uint8_t> concat(const std::vector<std::vector<std::uint8_t>>& parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

MemberFields cpucode_member(const std::vector<std::uint8_t>& data, bool compressed, std::string name) {
    MemberFields m = packed_member(0x4001, 0, std::move(name), data, !compressed);
    if (compressed && m.method != "-lh5-") throw std::logic_error("microcode did not compress");
    return m;
}

std::uint32_t put_top_microcode(SyntheticImage& image, std::uint32_t area_end, const std::vector<std::uint8_t>& data,
                                std::uint32_t bs1_at) {
    std::uint32_t start = image.put_ncpu_block(area_end, data);
    image.put_bs1(bs1_at, image.physical(start));
    return start;
}

void put_bt_vga_slot(SyntheticImage& image, std::uint32_t index, std::uint16_t start, std::uint16_t end,
                     const std::vector<std::uint8_t>& member) {
    image.put_slot_record(index, "*BT-VGA*", start, end);
    image.put_member(top64(image, start), member);
}

void put_nvdamm_slot(SyntheticImage& image, std::uint32_t index, std::uint16_t start, std::uint16_t end,
                     std::uint16_t block_at, std::string_view block) {
    image.put_slot_record(index, "*NVDAMM*", start, end);
    image.put_text(top64(image, block_at), block);
}

}  // namespace testkit
