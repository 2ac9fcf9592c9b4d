// The checks behind /verify and the JSON report's problems.
#include "image/image_check.hpp"

#include <algorithm>
#include <cstring>

#include "archive/extract.hpp"
#include "common/bytes.hpp"
#include "common/catalogue.hpp"
#include "common/console.hpp"
#include "common/sha256.hpp"
#include "image/bios_image.hpp"
#include "image/boot_vga.hpp"
#include "image/chain.hpp"
#include "image/fixups.hpp"
#include "image/records.hpp"

namespace {

struct Check {
    const BiosImage& image;
    ImageCheck result;
    bool digests = false;  // each member's content digest and PCI identity too

    void line(std::uint32_t offset, const char* code, const std::string& text, bool problem) {
        result.findings.push_back({offset, code, text, problem});
        if (problem) ++result.problems;
    }
};

std::string format(const char* pattern, auto... values) {
    char buf[160];
    std::snprintf(buf, sizeof buf, pattern, values...);
    return buf;
}

// The verdict on one member, into m.verdict, m.code and m.problem.
void judge_member(const BiosImage& image, MemberCheck& m, bool digests) {
    const auto verdict = [&m](const char* code, std::string text, bool problem = true) {
        m.code = code;
        m.verdict = std::move(text);
        m.problem = problem;
    };
    m.computed_sum = header_sum(header_in_holder(m.head));
    m.recorded_crc = recorded_crc(header_in_holder(m.head));
    if (!m.computed_sum) return verdict("header_cut_short", "header cut short");
    if (*m.computed_sum != recorded_sum(m.head))
        return verdict("header_sum", format("sum should be %02Xh", *m.computed_sum));
    if (!known_method(method_text(m.head))) return verdict("unknown_method", "unknown method");
    const std::uint32_t original = original_size(m.head);
    if (original > member::kMaxMemberSize) return verdict("too_large_to_check", "too large to check");
    const Expansion e = expand_member(std::span(image.bytes).subspan(m.position), original, console::voice());
    if (e.status == Expansion::Status::Damaged) return verdict("data_damaged", "data damaged");
    if (e.data.size() != original) return verdict("data_cut_short", "data cut short");
    m.computed_crc = e.crc;
    if (digests) {
        m.content_sha256 = sha256_hex(e.data);
        m.pci = signed_pci_identity(e.data);
    }
    if (!m.recorded_crc)
        verdict("crc_not_recorded", "CRC not recorded", false);
    else if (e.crc != *m.recorded_crc)
        return verdict("crc_mismatch", format("data CRC is %04Xh", e.crc));
    else
        verdict("ok", "ok", false);
    // The "*BT-VGA*" slot holds a VGA ROM whatever TypeId its header
    // keeps; the system BIOS is no kind's.
    if (m.place == Place::BootVga)
        m.content = check_content({kVgaSlots.base, 0, m.name, m.position}, e.data);
    else if (m.place == Place::Chain)
        m.content = check_content({type_segment(m.head), type_offset(m.head), m.name, m.position}, e.data);
}

void check_member(Check& c, Place place, std::uint32_t position, const std::string& name) {
    MemberCheck m;
    m.place = place;
    m.position = position;
    m.name = without_padding(name);
    m.head = read_member_head(c.image.bytes, position);
    judge_member(c.image, m, c.digests);
    const std::string crc_text = m.recorded_crc ? format("%04Xh", *m.recorded_crc) : std::string("---- ");
    c.line(position, m.code.c_str(),
           format("%05Xh %-16s %s %05Xh %05Xh sum %02Xh CRC %s %s", position, m.name.c_str(),
                  std::string(method_text(m.head)).c_str(), original_size(m.head), packed_size(m.head),
                  recorded_sum(m.head), crc_text.c_str(), m.verdict.c_str()),
           m.problem);
    // Each content mismatch is a problem of its own line; the member's
    // verdict carries them all.
    for (const ContentProblem& p : m.content) {
        c.line(position, p.code.c_str(), p.text, true);
        if (m.code == "content_mismatch") {
            m.verdict += "; ";
            m.verdict += p.text;
        } else {
            m.verdict = p.text;
        }
        m.code = "content_mismatch";
        m.problem = true;
    }
    c.result.members.push_back(std::move(m));
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

void check_chain(Check& c, const ChainWalk& walk) {
    const BiosImage& image = c.image;
    const std::uint32_t limit = chain_space_end(image);
    for (const ChainMember& m : walk.members) {
        check_member(c, Place::Chain, m.position, listing_name(type_segment(m.header), type_offset(m.header)));
        if (m.position + member_span(m.header) > limit)
            c.line(m.position, "past_area_end",
                   format("the component at %05Xh runs past the area's end, %05Xh", m.position, limit), true);
    }
    const std::uint32_t end = walk.end_position;
    switch (walk.end) {
    case ChainEnd::NoMember:
        c.line(end, "chain_no_header", format("chain damaged at %05Xh: no component header", end), true);
        return;
    case ChainEnd::FileEnd:
        c.line(end, "chain_past_file", format("chain damaged at %05Xh: the component runs past the file", end), true);
        return;
    case ChainEnd::Full:
    case ChainEnd::Erased: break;
    }
    // Erased space from the end up to the chain space's end.
    if (const std::optional<std::uint32_t> stray = first_unerased(image, end, limit)) {
        c.line(*stray, "chain_not_erased",
               format("chain ends at %05Xh; bytes at %05Xh behind it are not erased", end, *stray), true);
        return;
    }
    if (walk.end == ChainEnd::Full)
        c.line(end, "chain_full",
               format("chain ends at %05Xh: %s", end,
                      image.ncpu_block && end + kSmallestMember > top_block_start(image) ? "at the top block"
                                                                                         : "the area is full"),
               false);
    else
        c.line(end, "chain_end", format("chain ends at %05Xh: erased space up to %05Xh", end, limit), false);
}

void check_top_block(Check& c) {
    const BiosImage& image = c.image;
    const std::optional<std::uint32_t> marker = image.bs1_marker;
    const std::uint32_t pointer = marker ? bs1_pointer(image.bytes, *marker).value_or(0) : 0;  // 0: none
    if (!image.ncpu_block) {
        // A pointer below the area's end promises a top block there: one
        // that is missing has been lost.
        if (pointer != 0 && pointer < image.area_end)
            c.line(pointer, "top_block_lost",
                   format("*BS1 points at %05Xh, below the area's end %05Xh, but no top block ends there", pointer,
                          image.area_end),
                   true);
        return;
    }
    const std::uint32_t start = top_block_start(image);
    const std::uint32_t trailer_at = image.area_end - kNcpuTrailerSize;
    // ncpu_block says the trailer's name stands there, so it reads.
    const TopTrailer read = read_top_trailer(image.bytes, image.area_end).value_or(TopTrailer{});
    const std::uint8_t* trailer = read.bytes.data();
    const std::uint32_t length = read.length;
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
    if (!bytes::has_text(read.bytes, 0, kAlin16Text) || !zeros)
        c.line(trailer_at, "top_block_trailer", format("top block trailer at %05Xh is damaged", trailer_at), true);
    if (length != image.ncpu_size) {
        c.line(trailer_at + kNcpuLengthAt, "top_block_length",
               format("top block length %08Xh at %05Xh runs out of the area", length, trailer_at + kNcpuLengthAt),
               true);
        return;
    }
    c.line(start, "top_block", format("top block at %05Xh, %05Xh bytes, trailer NCPUCODE.BIN", start, image.ncpu_size),
           false);
    // Its bytes are what /NC_CPUCODE put there: microcode records.
    const std::span<const std::uint8_t> block = std::span(image.bytes).subspan(start, image.ncpu_size);
    for (const ContentProblem& p : check_content({kind(code::nc_cpucode).type_value, 0, "NCPUCODE.BIN", start}, block))
        c.line(start, p.code.c_str(), p.text, true);
    const std::uint32_t at = marker.value_or(start);
    if (pointer == 0)
        c.line(at, "bs1_missing", "no *BS1 pointer: the top block is not pointed at", true);
    else if (pointer != start)
        c.line(at, "bs1_elsewhere", format("*BS1 points at %05Xh, not at the top block", pointer), true);
    else
        c.line(at, "bs1_ok", "*BS1 points at the top block", false);
}

void check_sums(Check& c) {
    const BiosImage& image = c.image;
    if (image.bbss_offset != kNoBootRecord) {
        const std::uint32_t at = image.checksum_block + kCheckBytesAt;
        std::uint8_t stored[1];
        read_window(image.bytes, at, stored);
        const std::uint8_t s = range_byte_sum(image, image.first_member, at);
        if (stored[0] == s)
            c.line(at, "check_byte_ok", format("check byte at %05Xh: ok", at), false);
        else
            c.line(at, "check_byte", format("check byte at %05Xh is %02Xh, should be %02Xh", at, stored[0], s), true);
    }
    const FileSums sums = file_sums(image);
    if (image.imd_reset && imd_area_marked(image)) {
        c.line(0, "word_sum_kept", format("word sum %04Xh: kept, the IMD area is marked IMD$", sums.words), false);
        return;
    }
    c.line(0, sums.words == 0 ? "word_sum_ok" : "word_sum",
           format("word sum %04Xh: %s", sums.words, sums.words == 0 ? "ok" : "should be 0000h"), sums.words != 0);
    if (image.imd_reset)
        c.line(0, sums.bytes == 0 ? "byte_sum_ok" : "byte_sum",
               format("byte sum %02Xh: %s", sums.bytes, sums.bytes == 0 ? "ok" : "should be 00h"), sums.bytes != 0);
}

}  // namespace

ImageCheck check_image(const BiosImage& image, const ChainWalk& walk, bool digests) {
    Check c{image, {}, digests};
    if (const std::optional<std::string> why = not_a_bios_image(image)) {
        // Nothing in it can be checked as a BIOS image.
        c.line(0, "not_a_bios_image", "no BIOS image: " + *why, true);
        return std::move(c.result);
    }
    // A file cut short (or grown) is no ROM, however sound what is left looks.
    if (image.file_size != 0x20000 && image.file_size != 0x40000 && image.file_size != 0x80000 &&
        image.file_size != 0x100000)
        c.line(0, "image_size",
               format("%s is %u bytes: an image is 128K, 256K, 512K or 1M", image.path.c_str(),
                      static_cast<unsigned>(image.file_size)),
               true);
    const std::uint32_t bios = system_bios_position(image);
    if (holds_member(read_member_head(image.bytes, bios)))
        check_member(c, Place::SystemBios, bios, "System BIOS");
    else
        c.line(bios, "no_system_bios", format("%05Xh no system BIOS component", bios), true);
    check_chain(c, walk);
    if (std::optional<BootSlot> slot = find_boot_slot(image, kBtVgaText);
        slot && holds_member(read_member_head(image.bytes, slot->begin)))
        check_member(c, Place::BootVga, slot->begin, "Compress BT-VGA");
    check_top_block(c);
    check_sums(c);
    return std::move(c.result);
}
