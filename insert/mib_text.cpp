// Text file to "-MIB-" document.
#include "insert/mib_text.hpp"

#include <array>

namespace {

constexpr std::array<std::uint8_t, 18> kMagic = {'-',  'M',  'I',  'B',  '-',  0x0B, 0x0C, 0x01, 0x00,
                                                 0x03, 0x01, 0x04, 0x4E, 0x17, 0x05, 0x01, 0x04, 0x00};
constexpr std::size_t kTableOffsetAt = 18;
constexpr std::size_t kLengthAt = 20;
constexpr std::size_t kTextAt = 22;
constexpr std::size_t kLineWidth = 78;
constexpr std::size_t kTabStop = 8;

// An even offset up to 0x1FFFF as a 16-bit word: bit 16 moves to bit 0.
std::uint16_t packed_offset(std::size_t value) {
    return static_cast<std::uint16_t>((value & 0xFFFF) | ((value >> 16) & 1));
}

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

struct Writer {
    std::vector<std::uint8_t> out;
    std::vector<std::uint16_t> starts;  // the start of every line begun so far
    std::size_t column = 0;
    bool full = false;

    // Ends the current line with one or two 0 bytes and records where the next begins.
    void end_line() {
        out.push_back(0);
        if (out.size() % 2 != 0) out.push_back(0);
        starts.push_back(packed_offset(out.size()));
        column = 0;
    }
    // Room for `bytes` more text and a line end, with the table of every line so far and one more.
    bool fits(std::size_t bytes) const { return out.size() + bytes + 2 + 2 * (starts.size() + 1) <= kMaxMibDocument; }
    // A 79th character starts a new line; a line end right after the 78th
    // ends that line (no empty line follows it).
    void put(std::uint8_t ch) {
        if (full) return;
        if (column == kLineWidth && fits(1)) end_line();
        if (!fits(1)) {
            full = true;
            return;
        }
        out.push_back(ch);
        ++column;
    }
};

}  // namespace

std::vector<std::uint8_t> mib_document(std::span<const std::uint8_t> text) {
    Writer w;
    w.out.assign(kTextAt, 0);
    std::copy(kMagic.begin(), kMagic.end(), w.out.begin());
    w.starts.push_back(kTextAt);
    for (std::uint8_t ch : text) {
        if (w.full) break;
        if (ch == '\r') continue;
        if (ch == '\n') {
            if (!w.fits(0)) break;
            w.end_line();
        } else if (ch == '\t') {
            const std::size_t spaces = kTabStop - w.column % kTabStop;
            for (std::size_t i = 0; i < spaces; ++i) w.put(' ');
        } else {
            w.put(ch);
        }
    }
    if (w.column != 0) w.end_line();  // a last line without its line end
    // Every recorded start but the last (where no line began) forms the table.
    w.starts.pop_back();
    const std::size_t table = w.out.size();
    for (std::uint16_t s : w.starts) {
        w.out.push_back(static_cast<std::uint8_t>(s));
        w.out.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    put16(w.out, kTableOffsetAt, packed_offset(table));
    put16(w.out, kLengthAt, packed_offset(w.out.size()));
    return w.out;
}
