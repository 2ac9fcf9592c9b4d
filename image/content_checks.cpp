// The content check of each family of kinds, looked up by the catalogue
// row's `content`, and the executable check of every kind that strips one.
#include "image/content_checks.hpp"

#include <cstdio>
#include <iterator>

#include "archive/extract.hpp"
#include "common/byte_sums.hpp"
#include "common/bytes.hpp"
#include "common/catalogue.hpp"
#include "image/microcode.hpp"
#include "image/option_rom.hpp"
#include "picture/logo.hpp"

namespace {

using Bytes = std::span<const std::uint8_t>;

// One check of one member: what it works on and where its findings go.
struct Check {
    const ContentSubject& subject;
    const ComponentKind& row;
    Bytes content;
    std::vector<ContentProblem>& problems;

    void problem(const char* code, const char* pattern, auto... values) {
        char what[224];
        std::snprintf(what, sizeof what, pattern, values...);
        char lead[64];
        std::snprintf(lead, sizeof lead, "%s at %05Xh: ", subject.name.c_str(), subject.position);
        std::string text(lead);
        text += what;
        problems.push_back({code, std::move(text)});
    }
};

std::uint8_t byte_sum(Bytes b) {
    const EvenOddSums s = even_odd_sums(b);
    return static_cast<std::uint8_t>(s.even + s.odd);
}

// ---- pictures

void check_picture(Check& c) {
    if (is_logo_image(c.content)) return;
    if (is_windows_bitmap(c.content))
        return c.problem("content_picture", "a Windows bitmap, %s holds a logo picture (converted from it)",
                         c.row.switch_text.data());
    const std::uint16_t w = bytes::get16(c.content, 4).value_or(0), h = bytes::get16(c.content, 6).value_or(0);
    c.problem("content_picture", "%u x %u with no \"RGB \" palette behind its rows, a logo picture has one",
              unsigned{w}, unsigned{h});
}

// ---- option ROMs: the images one after another, each where the one
// before it ends by its PCI data structure's image length.

inline constexpr int kMaxRomImages = 8;

// The image at `at`: its length byte and sum (an x86 image), and its class.
// Returns where the next image begins, or nothing after the last.
std::optional<std::size_t> check_rom_image(Check& c, std::size_t at, int number) {
    const Bytes rest = c.content.subspan(at);
    const std::optional<RomImage> image = rom_image(rest);
    if (!image) {
        const unsigned b0 = rest.empty() ? 0 : rest[0], b1 = rest.size() < 2 ? 0 : rest[1];
        if (number == 1)
            c.problem("content_signature", "begins %02X %02Xh, an option ROM begins 55 AAh", b0, b1);
        else
            c.problem("content_image", "image %d at %05Xh begins %02X %02Xh, an image begins 55 AAh", number,
                      static_cast<unsigned>(at), b0, b1);
        return std::nullopt;
    }
    const bool x86 = !image->pci || image->code_type == 0;
    if (x86 && image->length == 0) {
        c.problem("content_length", "length byte 00h at %05Xh, an option ROM is at least 512 bytes",
                  static_cast<unsigned>(at + 2));
    } else if (x86 && image->length > rest.size()) {
        c.problem("content_length", "length byte %02Xh at %05Xh says %05Xh bytes, %05Xh are there",
                  static_cast<unsigned>(rest[2]), static_cast<unsigned>(at + 2), static_cast<unsigned>(image->length),
                  static_cast<unsigned>(rest.size()));
    } else if (x86) {
        if (const std::uint8_t sum = byte_sum(rest.first(image->length)); sum != 0)
            c.problem("content_sum", "bytes %05Xh-%05Xh sum to %02Xh, an option ROM's sum to 00h",
                      static_cast<unsigned>(at), static_cast<unsigned>(at + image->length - 1), unsigned{sum});
    }
    const int wanted = c.row.family->pci_class;
    if (image->pci && wanted >= 0 && !pci_class_is(*image->pci, static_cast<std::uint8_t>(wanted)))
        c.problem("content_pci_class", "PCI class %02Xh (%s), a %s ROM has class %02Xh",
                  unsigned{image->pci->base_class}, pci_class_name(image->pci->base_class), c.row.family->label,
                  static_cast<unsigned>(wanted));
    // The structure's image length places the next image; an x86 image's
    // own extent is its length byte's.
    if (image->pci && image->pci_length > rest.size() && (!x86 || !image->last)) {
        c.problem("content_image", "image %d at %05Xh says %05Xh bytes, %05Xh are there", number,
                  static_cast<unsigned>(at), static_cast<unsigned>(image->pci_length),
                  static_cast<unsigned>(rest.size()));
        return std::nullopt;
    }
    if (image->last || image->pci_length == 0) return std::nullopt;
    if (image->pci_length == rest.size()) {
        c.problem("content_image", "image %d at %05Xh is not marked the last, and no image follows it", number,
                  static_cast<unsigned>(at));
        return std::nullopt;
    }
    return at + image->pci_length;
}

void check_option_rom(Check& c) {
    std::optional<std::size_t> at = 0;
    for (int number = 1; at && number <= kMaxRomImages; ++number) at = check_rom_image(c, *at, number);
}

// ---- ACPI tables, one after another: a 4-character signature, the
// length at 4 and a byte sum of 0 over that length (FACS has no checksum).
// The root pointer "RSD PTR " sums to 0 over its first 20 bytes, and over
// its length at 20 from revision 2 on. Bytes behind the last table that
// begin no signature are padding.

inline constexpr std::size_t kAcpiHeader = 36, kRsdpV1 = 20, kRsdpLengthAt = 20, kRsdpRevisionAt = 15;

bool signature_char(std::uint8_t b) {
    return (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_';
}

bool table_signature(Bytes b) {
    return b.size() >= 4 && signature_char(b[0]) && signature_char(b[1]) && signature_char(b[2]) &&
           signature_char(b[3]);
}

// The length of the table or root pointer at `at`; nothing, with the
// problem said, when it does not hold.
std::optional<std::size_t> check_acpi_table(Check& c, std::size_t at) {
    const Bytes rest = c.content.subspan(at);
    const bool root = bytes::has_text(rest, 0, "RSD PTR ");
    const char* what = root ? "RSD PTR " : "";
    std::size_t length = root ? kRsdpV1 : bytes::get32(rest, 4).value_or(0);
    if (root && rest.size() > kRsdpRevisionAt && rest[kRsdpRevisionAt] >= 2)
        length = bytes::get32(rest, kRsdpLengthAt).value_or(0);
    char name[5] = {};
    for (std::size_t i = 0; i < 4 && i < rest.size(); ++i) name[i] = static_cast<char>(rest[i]);
    if (!root) what = name;
    if (length < (root ? kRsdpV1 : kAcpiHeader) || length > rest.size()) {
        c.problem("content_acpi", "table %s at %05Xh says %u bytes, %u are there (a table has at least %u)", what,
                  static_cast<unsigned>(at), static_cast<unsigned>(length), static_cast<unsigned>(rest.size()),
                  static_cast<unsigned>(root ? kRsdpV1 : kAcpiHeader));
        return std::nullopt;
    }
    const bool summed = !bytes::has_text(rest, 0, "FACS");
    if (const std::uint8_t sum = byte_sum(rest.first(root ? kRsdpV1 : length)); summed && sum != 0) {
        c.problem("content_acpi", "table %s at %05Xh sums to %02Xh, an ACPI table sums to 00h", what,
                  static_cast<unsigned>(at), unsigned{sum});
        return std::nullopt;
    }
    if (root && length > kRsdpV1 && byte_sum(rest.first(length)) != 0) {
        c.problem("content_acpi", "table %s at %05Xh sums to %02Xh over %u bytes, an ACPI table sums to 00h", what,
                  static_cast<unsigned>(at), unsigned{byte_sum(rest.first(length))}, static_cast<unsigned>(length));
        return std::nullopt;
    }
    return length;
}

void check_acpi(Check& c) {
    if (!table_signature(c.content) && !bytes::has_text(c.content, 0, "RSD PTR ")) {
        const auto b = [&c](std::size_t i) { return i < c.content.size() ? unsigned{c.content[i]} : 0u; };
        return c.problem("content_acpi", "begins %02X %02X %02X %02Xh, an ACPI table begins with its signature", b(0),
                         b(1), b(2), b(3));
    }
    for (std::size_t at = 0; at < c.content.size();) {
        const Bytes rest = c.content.subspan(at);
        if (at != 0 && !table_signature(rest) && !bytes::has_text(rest, 0, "RSD PTR ")) return;
        const std::optional<std::size_t> length = check_acpi_table(c, at);
        if (!length) return;
        at += *length;
    }
}

// ---- CPU microcode: Intel updates of their total size, or 2048-byte
// bridge entries, one after another, up to padding (a record whose first
// byte is 00h or FFh, as the boot-block table ends).

inline constexpr std::size_t kLoaderRevisionAt = 20;
inline constexpr std::size_t kBridgeSumAt = 12, kBridgeSumFrom = 64, kBridgeSumTo = 1856;

void check_microcode(Check& c) {
    std::size_t at = 0;
    for (; at < c.content.size() && c.content[at] != 0x00 && c.content[at] != 0xFF;) {
        const std::uint32_t total = microcode_total_size(c.content, at).value_or(kMicrocodeEntrySize);
        const std::optional<MicrocodeEntry> entry = decode_microcode_entry(c.content, at, total);
        if (entry) {
            at += entry->bridge ? kMicrocodeEntrySize : total;
            continue;
        }
        const Bytes rest = c.content.subspan(at);
        // An Intel update has header version 1 and loader revision 1.
        const bool intel = bytes::get32(rest, 0) == 1u && bytes::get32(rest, kLoaderRevisionAt) == 1u;
        if (intel && total > rest.size())
            c.problem("content_microcode", "record at %05Xh says %u bytes, %u are there", static_cast<unsigned>(at),
                      static_cast<unsigned>(total), static_cast<unsigned>(rest.size()));
        else if (intel)
            c.problem("content_microcode", "record at %05Xh sums to %08Xh, a microcode update sums to 0",
                      static_cast<unsigned>(at), microcode_word_sum(rest.first(total)));
        else if (rest.size() < kBridgeSumTo)
            c.problem("content_microcode", "record at %05Xh has %u bytes, a bridge entry has 2048",
                      static_cast<unsigned>(at), static_cast<unsigned>(rest.size()));
        else
            c.problem("content_microcode", "record at %05Xh: words 64-1855 sum to %08Xh, its word at 12 is %08Xh",
                      static_cast<unsigned>(at),
                      microcode_word_sum(rest.subspan(kBridgeSumFrom, kBridgeSumTo - kBridgeSumFrom)),
                      *bytes::get32(rest, kBridgeSumAt));
        return;
    }
    if (at == 0)
        c.problem("content_microcode", "begins %02Xh, no microcode record, a %s component holds one or more",
                  c.content.empty() ? 0u : unsigned{c.content[0]}, c.row.switch_text.data());
}

// By Content, in its order: the check of each family of kinds.
using ContentCheck = void (*)(Check&);
constexpr ContentCheck kChecks[] = {nullptr, check_picture, check_option_rom, check_acpi, check_microcode};
static_assert(std::size(kChecks) == static_cast<std::size_t>(Content::Microcode) + 1);

// Kinds whose preparation stores an executable's body, not the executable.
bool strips_executables(const ComponentKind& row) {
    return row.preparation == FilePreparation::Standard || row.preparation == FilePreparation::JpegPrefix;
}

}  // namespace

std::vector<ContentProblem> check_content(const ContentSubject& subject, std::span<const std::uint8_t> content) {
    std::vector<ContentProblem> problems;
    const OptionCode code = kind_of_type(subject.type_segment, subject.type_offset);
    if (code == 0) return problems;
    Check c{subject, kind(code), content, problems};
    if (strips_executables(c.row) && bytes::has_text(content, 0, "MZ")) {
        c.problem("content_executable", "a whole DOS executable (MZ), %s stores its body", c.row.switch_text.data());
        return problems;
    }
    if (const ContentCheck check = kChecks[static_cast<std::size_t>(c.row.content)]) check(c);
    return problems;
}

std::vector<ContentProblem> check_member_content(std::span<const std::uint8_t> member, std::uint32_t position) {
    const Expansion e = expand_member(member, member::kMaxMemberSize);
    if (e.status != Expansion::Status::Complete || e.data.size() != original_size(e.header)) return {};
    const std::uint16_t segment = type_segment(e.header), offset = type_offset(e.header);
    return check_content({segment, offset, without_padding(listing_name(segment, offset)), position}, e.data);
}
