// The image check of /verify.
#include "driver/verify.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "archive/crc16.hpp"
#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/catalogue.hpp"
#include "driver/fixups.hpp"
#include "image/bios_image.hpp"
#include "image/boot_vga.hpp"
#include "image/chain.hpp"
#include "archive/member_head.hpp"
#include "image/records.hpp"

namespace {

// The largest component the check expands; a header promising more is damaged.
inline constexpr std::uint32_t kMaxCheckedSize = 16u << 20;

struct Check {
    BiosImage& image;
    int members = 0;
    int problems = 0;

    void line(const std::string& text, bool problem) {
        console::out(text + "\n");
        if (problem) ++problems;
    }
};

std::string format(const char* pattern, auto... values) {
    char buf[160];
    std::snprintf(buf, sizeof buf, pattern, values...);
    return buf;
}

std::string trimmed(std::string name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

// The verdict on one member: "ok", "CRC not recorded", or what is wrong.
struct MemberVerdict {
    std::string text;
    bool problem = true;
};

MemberVerdict member_verdict(const Check& c, std::uint32_t position, const MemberHead& head) {
    const std::optional<std::uint8_t> sum = header_sum(header_in_holder(head));
    if (!sum) return {"header cut short"};
    if (*sum != recorded_sum(head)) return {format("sum should be %02Xh", *sum)};
    if (!known_method(method_text(head))) return {"unknown method"};
    const std::uint32_t original = original_size(head);
    if (original > kMaxCheckedSize) return {"too large to check"};
    const Expansion e = expand_member(std::span(c.image.bytes).subspan(position), original);
    if (e.status == Expansion::Status::Damaged) return {"data damaged"};
    if (e.data.size() != original) return {"data cut short"};
    const std::optional<std::uint16_t> stored_crc = recorded_crc(header_in_holder(head));
    if (!stored_crc) return {"CRC not recorded", false};
    if (e.crc != *stored_crc) return {format("data CRC is %04Xh", e.crc)};
    return {"ok", false};
}

void check_member(Check& c, std::uint32_t position, const std::string& name) {
    const MemberHead head = read_member_head(c.image.bytes, position);
    ++c.members;
    const MemberVerdict verdict = member_verdict(c, position, head);
    const std::optional<std::uint16_t> crc = recorded_crc(header_in_holder(head));
    const std::string crc_text = crc ? format("%04Xh", *crc) : std::string("---- ");
    c.line(format("%05Xh %-16s %s %05Xh %05Xh sum %02Xh CRC %s %s", position, trimmed(name).c_str(),
                  std::string(method_text(head)).c_str(), original_size(head), packed_size(head),
                  recorded_sum(head), crc_text.c_str(), verdict.text.c_str()),
           verdict.problem);
}

// The first byte in [from, to) that is not 0xFF.
std::optional<std::uint32_t> first_unerased(const BiosImage& image, std::uint64_t from, std::uint64_t to) {
    static const std::vector<std::uint8_t> erased(kChecksumBlockSize, 0xFF);
    to = std::min<std::uint64_t>(to, image.bytes.size());
    // One compare a block for the usual case, byte by byte only to name the place.
    for (std::uint64_t at = from; at < to; at += erased.size()) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(erased.size(), to - at));
        if (std::memcmp(image.bytes.data() + at, erased.data(), n) == 0) continue;
        for (std::size_t i = 0; i < n; ++i)
            if (image.bytes[at + i] != 0xFF) return static_cast<std::uint32_t>(at + i);
    }
    return std::nullopt;
}

void check_chain(Check& c) {
    BiosImage& image = c.image;
    const ChainWalk walk = walk_image_chain(image);
    const std::uint32_t limit = chain_space_end(image);
    for (const ChainMember& m : walk.members) {
        check_member(c, m.position, listing_name(type_segment(m.header), type_offset(m.header)));
        if (m.position + member_span(m.header) > limit)
            c.line(format("the component at %05Xh runs past the area's end, %05Xh", m.position, limit), true);
    }
    switch (walk.end) {
    case ChainEnd::NoMember:
        c.line(format("chain damaged at %05Xh: no component header", walk.end_position), true);
        return;
    case ChainEnd::FileEnd:
        c.line(format("chain damaged at %05Xh: the component runs past the file", walk.end_position), true);
        return;
    case ChainEnd::Full:
    case ChainEnd::Erased:
        break;
    }
    // Erased space from the end up to the chain space's end.
    if (const std::optional<std::uint32_t> stray = first_unerased(image, walk.end_position, limit)) {
        c.line(format("chain ends at %05Xh; bytes at %05Xh behind it are not erased", walk.end_position, *stray), true);
        return;
    }
    if (walk.end == ChainEnd::Full)
        c.line(format("chain ends at %05Xh: %s", walk.end_position,
                      image.ncpu_block && walk.end_position + kSmallestMember > top_block_start(image)
                          ? "at the top block"
                          : "the area is full"),
               false);
    else
        c.line(format("chain ends at %05Xh: erased space up to %05Xh", walk.end_position, limit), false);
}

void check_top_block(Check& c) {
    BiosImage& image = c.image;
    const std::optional<std::uint32_t> marker = find_bs1_marker(image.bytes, image.file_size);
    const std::uint32_t pointer = marker ? bs1_pointer(image.bytes, *marker).value_or(0) : 0;  // 0: none
    if (!image.ncpu_block) {
        // A pointer below the area's end promises a top block there: one
        // that is missing has been lost.
        if (pointer != 0 && pointer < image.area_end)
            c.line(format("*BS1 points at %05Xh, below the area's end %05Xh, but no top block ends there", pointer,
                          image.area_end),
                   true);
        return;
    }
    const std::uint32_t start = top_block_start(image);
    const std::uint32_t trailer_at = image.area_end - kNcpuTrailerSize;
    std::uint8_t trailer[kNcpuTrailerSize];
    read_window(image.bytes, trailer_at, trailer);
    const std::uint32_t length = bytes::le32(trailer + kNcpuLengthAt);
    // Zero: the word after the length and the three bytes after the name,
    // but for the area's check bytes when they stand there.
    const std::optional<std::uint32_t> check = check_bytes_position(image);
    auto zero_or_check = [&](std::uint32_t i) {
        const std::uint32_t at = trailer_at + i;
        return trailer[i] == 0 || (check && at >= *check && at < *check + 2);
    };
    bool zeros = bytes::le32(trailer + kNcpuLengthAt + 4) == 0;
    for (std::uint32_t i = kNcpuNameAt + static_cast<std::uint32_t>(kNcpuName.size()); i < kNcpuTrailerSize; ++i)
        zeros = zeros && zero_or_check(i);
    if (!bytes::has_text(trailer, 0, kAlin16Text) || !zeros)
        c.line(format("top block trailer at %05Xh is damaged", trailer_at), true);
    if (length != image.ncpu_size) {
        c.line(format("top block length %08Xh at %05Xh runs out of the area", length, trailer_at + kNcpuLengthAt), true);
        return;
    }
    c.line(format("top block at %05Xh, %05Xh bytes, trailer NCPUCODE.BIN", start, image.ncpu_size), false);
    if (pointer == 0)
        c.line("no *BS1 pointer: the top block is not pointed at", true);
    else if (pointer != start)
        c.line(format("*BS1 points at %05Xh, not at the top block", pointer), true);
    else
        c.line("*BS1 points at the top block", false);
}

void check_sums(Check& c) {
    BiosImage& image = c.image;
    if (image.bbss_offset != kNoBootRecord) {
        const std::uint32_t at = image.checksum_block + 0xFFE;
        std::uint8_t stored[1];
        read_window(image.bytes, at, stored);
        const std::uint8_t s = range_byte_sum(image, image.first_member, at);
        if (stored[0] == s)
            c.line(format("check byte at %05Xh: ok", at), false);
        else
            c.line(format("check byte at %05Xh is %02Xh, should be %02Xh", at, stored[0], s), true);
    }
    const FileSums sums = file_sums(image);
    if (image.imd_reset && imd_area_marked(image)) {
        c.line(format("word sum %04Xh: kept, the IMD area is marked IMD$", sums.words), false);
        return;
    }
    c.line(format("word sum %04Xh: %s", sums.words, sums.words == 0 ? "ok" : "should be 0000h"), sums.words != 0);
    if (image.imd_reset)
        c.line(format("byte sum %02Xh: %s", sums.bytes, sums.bytes == 0 ? "ok" : "should be 00h"), sums.bytes != 0);
}

}  // namespace

Outcome verify_image(RunState& state, BiosImage& image) {
    Check c{image};
    console::outf("\nVerifying %s\n", state.input_file.c_str());
    if (const std::optional<std::string> why = not_a_bios_image(image)) {
        // Nothing in it can be checked as a BIOS image.
        c.line("no BIOS image: " + *why, true);
        c.line(format("%d members checked, %d problems found", c.members, c.problems), false);
        state.verify_problems += c.problems;
        return Outcome::NextGroup;
    }
    const std::uint32_t bios = system_bios_position(image);
    if (holds_member(read_member_head(image.bytes, bios)))
        check_member(c, bios, "System BIOS");
    else
        c.line(format("%05Xh no system BIOS component", bios), true);
    check_chain(c);
    if (std::optional<BootSlot> slot = find_boot_slot(image, kBtVgaText);
        slot && holds_member(read_member_head(image.bytes, slot->begin)))
        check_member(c, slot->begin, "Compress BT-VGA");
    check_top_block(c);
    check_sums(c);
    c.line(format("%d members checked, %d problems found", c.members, c.problems), false);
    state.verify_problems += c.problems;
    return Outcome::NextGroup;
}
