// /unpack: the survey of an image rendered as files and a manifest.
#include "folder/unpack.hpp"

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "common/catalogue.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "common/platform.hpp"
#include "common/sha256.hpp"
#include "folder/manifest.hpp"
#include "folder/refresh.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "image/salvage.hpp"
#include "image/survey.hpp"
#include "picture/logo.hpp"

namespace fs = std::filesystem;

void (*unpack_folder_checked)(const std::string& dir) = nullptr;

namespace {

// A file of the folder: bytes held (a block, a bitmap, the manifest), a
// view of the image (image.bin), or a member expanded straight into it.
struct OutFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::span<const std::uint8_t> view;
    std::optional<Component> member;  // expanded straight into the file
    bool salvaged = false;            // a damaged member's: as far as it expands
    std::span<const std::uint8_t> content() const { return bytes.empty() ? view : std::span(bytes); }
};

OutFile held_file(std::string name, std::vector<std::uint8_t> bytes) {
    OutFile f;
    f.name = std::move(name);
    f.bytes = std::move(bytes);
    return f;
}

OutFile viewed_file(std::string name, std::span<const std::uint8_t> view) {
    OutFile f;
    f.name = std::move(name);
    f.view = view;
    return f;
}

OutFile member_file(std::string name, const Component& c, bool salvaged = false) {
    OutFile f;
    f.name = std::move(name);
    f.member = c;
    f.salvaged = salvaged;
    return f;
}

struct Unpacked {
    Manifest manifest;
    std::map<std::string, int> names;  // each content file name given: how often
    std::vector<OutFile> files;
    int damaged = 0;  // damaged members and lost stretches (said on the console channel)
};

// A text from the image as the console shows it: control bytes and those
// above 7Eh as \xNN, never raw.
std::string shown(std::string_view text) {
    std::string out;
    for (unsigned char ch : text) {
        if (ch >= 0x20 && ch < 0x7F) {
            out += static_cast<char>(ch);
            continue;
        }
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02x", ch);
        out += buf;
    }
    return out;
}

// What the first expansion of a member saw: its SHA-256, its size, its
// first bytes, and its whole content when the kind needs it (a logo's bitmap).
struct Scan {
    Sha256 sha;
    std::size_t size = 0;
    std::uint8_t first[2] = {0, 0};
    bool hold = false;
    std::vector<std::uint8_t> held;
};

bool scan_piece(void* context, std::span<const std::uint8_t> piece) {
    Scan& s = *static_cast<Scan*>(context);
    for (std::size_t i = 0; i < piece.size() && s.size + i < 2; ++i) s.first[s.size + i] = piece[i];
    s.size += piece.size();
    s.sha.update(piece);
    if (s.hold) s.held.insert(s.held.end(), piece.begin(), piece.end());
    return true;
}

bool write_piece(void* context, std::span<const std::uint8_t> piece) {
    return platform::write_all(*static_cast<const platform::FileHandle*>(context), piece);
}

// The member of `f` expanded into `sink`: whole, or for a damaged one as
// far as it goes; false when it did not or the sink refused a piece.
bool expand_into(const BiosImage& image, const OutFile& f, ExpansionSink sink) {
    if (!f.salvaged)
        return expand_component_to_sink(image, *f.member, sink, console::voice()).status == Expansion::Status::Complete;
    const Expansion e = salvage_member(image, *f.member, sink);
    return e.status != Expansion::Status::Damaged || std::string_view(e.damage) != "Unable to write";
}

std::string type_id_text(const MemberHead& head) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X:%04X", type_segment(head), type_offset(head));
    return buf;
}

// The kind's word in file names: the switch without its slash, with the
// slot for a kind that has slots ("vga-1", "pci-B"); else the TypeId. It
// follows the member, not its position, so an unchanged member keeps it.
std::string kind_word(const MemberHead& head) {
    const std::uint16_t segment = type_segment(head);
    const std::string sw = switch_of_type(segment, type_offset(head));
    char buf[24];
    if (sw.empty()) {
        std::snprintf(buf, sizeof buf, "type_%04X_%04X", segment, type_offset(head));
        return buf;
    }
    std::string word = sw.substr(1);
    if (const std::optional<SlotFamily> family = slot_family(lookup_option(sw))) {
        word += '-';
        word += slot_char(*family, segment - family->base);
    }
    return word;
}

// The content file's name for `word`, unique in the folder: a second
// member of one name gets "-2", in image order; a damaged one's name says so.
std::string unique_file_name(Unpacked& u, const std::string& word, bool rom, bool damaged = false) {
    const std::string tail = damaged ? ".damaged" : "";
    const std::string name = content_file_name(word + tail, rom);
    const int seen = ++u.names[name];
    if (seen == 1) return name;
    return content_file_name(word + "-" + std::to_string(seen) + tail, rom);
}

// What is wrong with a member before its data is read: its header's sum,
// its place in the chain's space, a size it may not have; empty when nothing.
std::string header_damage(const BiosImage& image, const Component& c) {
    const MemberHead& head = *c.head;
    char text[120];
    if (original_size(head) > member::kMaxMemberSize) {
        std::snprintf(text, sizeof text, "claims %u bytes, more than the %zu a member may expand to",
                      original_size(head), member::kMaxMemberSize);
        return text;
    }
    if (read_member_header(std::span(image.bytes).subspan(c.position)).status != HeaderStatus::Read)
        return "fails its header sum";
    if (!whole_member(image, c)) return "runs past the chain's space";
    return {};
}

// What is wrong with its data, from the expansion `e` of it that gave `got` bytes.
std::string data_damage(const MemberHead& head, const Expansion& e, std::size_t got) {
    if (e.status == Expansion::Status::UnknownMethod) return "has a method no reader knows";
    if (e.status == Expansion::Status::Damaged)
        return std::string("cannot be decoded to its end (").append(e.damage).append(")");
    if (e.status != Expansion::Status::Complete || got != original_size(head)) return "ends early";
    const std::optional<std::uint16_t> recorded = recorded_crc(header_in_holder(head));
    if (!recorded || *recorded == e.crc) return {};
    char text[80];
    std::snprintf(text, sizeof text, "fails its CRC (recorded %04Xh, its data gives %04Xh)", *recorded, e.crc);
    return text;
}

// A damaged member: its line, named damaged, whose content is new to /pack;
// its file holds what it expands to, when anything does.
void add_damaged(Unpacked& u, const BiosImage& image, const Component& c, ManifestLine l, const std::string& word,
                 const Scan& scan, const std::string& damage) {
    l.file = unique_file_name(u, word, scan.size > 2 && scan.first[0] == 0x55 && scan.first[1] == 0xAA, true);
    l.sha256.clear();
    char held[160];
    if (scan.size == 0)
        std::snprintf(held, sizeof held, "nothing of it could be read");
    else
        std::snprintf(held, sizeof held, "%s holds what it expands to (%zu of %u bytes)", l.file.c_str(), scan.size,
                      original_size(*c.head));
    char at[16];
    std::snprintf(at, sizeof at, "%05Xh", c.position);
    l.note = std::string("damaged: the component at ").append(at).append(" ").append(damage).append("; ").append(held);
    console::note(std::string(image.path)
                      .append(": the component \"")
                      .append(shown(l.name))
                      .append("\" at ")
                      .append(at)
                      .append(" ")
                      .append(damage)
                      .append("; ")
                      .append(held));
    if (scan.size != 0) u.files.push_back(member_file(l.file, c, true));
    u.manifest.lines.push_back(std::move(l));
    ++u.damaged;
}

// A member's line and its content file (and a logo's bitmap), from an
// expansion that holds nothing but a logo (at most kMaxLogoImageBytes); a
// damaged member's as far as it expands.
void add_member(Unpacked& u, const BiosImage& image, const Component& c) {
    const MemberHead& head = *c.head;
    // The system BIOS and the boot block's VGA member are no chain kinds.
    const bool chain = c.place == Place::Chain;
    const std::string sw = chain ? switch_of_type(type_segment(head), type_offset(head))
                                 : std::string(c.place == Place::BootVga ? "/btvga" : "");
    const OptionCode code = lookup_option(sw);
    const bool picture = code != 0 && kind(code).extracts_picture;
    const std::string word = chain ? kind_word(head) : place_row(c.place).file;
    ManifestLine l;
    l.place = c.place;
    l.switch_text = sw.empty() ? "-" : sw;
    l.type_id = type_id_text(head);
    l.method = std::string(method_text(head));
    l.at = c.position;
    l.original = original_size(head);
    l.packed = packed_size(head);
    l.name = std::string(listed_name(head));
    std::string damage = header_damage(image, c);
    Scan scan;
    if (original_size(head) <= member::kMaxMemberSize) {
        scan.hold = damage.empty() && picture && original_size(head) <= kMaxLogoImageBytes;
        const Expansion e = salvage_member(image, c, {scan_piece, &scan});
        const std::string in_data = data_damage(head, e, scan.size);
        damage.append(damage.empty() || in_data.empty() ? "" : ", and ").append(in_data);
    }
    if (!damage.empty()) return add_damaged(u, image, c, std::move(l), word, scan, damage);
    l.file = unique_file_name(u, word, scan.size > 2 && scan.first[0] == 0x55 && scan.first[1] == 0xAA);
    l.sha256 = scan.sha.hex_digest();
    if (scan.hold) {
        // A copy to look at; /pack reads the content file.
        if (std::optional<std::vector<std::uint8_t>> bmp = logo_to_bmp(scan.held, l.file))
            u.files.push_back(held_file(l.file.substr(0, l.file.size() - 4) + ".bmp", std::move(*bmp)));
    }
    u.files.push_back(member_file(l.file, c));
    u.manifest.lines.push_back(std::move(l));
}

// A block that is no member (the top microcode block, the memory-module slot).
void add_block(Unpacked& u, const BiosImage& image, const Component& c) {
    const std::span<const std::uint8_t> bytes = component_bytes(image, c);
    // Built whole: GCC 12 warns (-Wrestrict, falsely) on assigning the literals one by one.
    ManifestLine l{.place = c.place,
                   .file = unique_file_name(u, place_row(c.place).file, false),
                   .switch_text = "-",
                   .type_id = "-",
                   .method = "raw",
                   .at = c.position,
                   .original = static_cast<std::uint32_t>(bytes.size()),
                   .packed = std::nullopt,
                   .sha256 = sha256_hex(bytes),
                   .name = c.name,
                   .note = {}};
    u.files.push_back(viewed_file(l.file, bytes));
    u.manifest.lines.push_back(std::move(l));
}

// A stretch of the chain where no member could be read: said, and noted in the manifest.
void add_lost(Unpacked& u, const BiosImage& image, const LostStretch& lost) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "no member could be read from %05Xh to %05Xh (a link of the chain is damaged there); what stood "
                  "there is lost",
                  lost.begin, lost.end);
    u.manifest.notes.push_back(std::string("damaged: ") + text);
    console::note(image.path + ": " + text);
    ++u.damaged;
}

Unpacked unpack(const BiosImage& image, const ImageSurvey& s) {
    Unpacked u;
    u.manifest.image_file = kImageCopyName;
    u.manifest.image_size = image.file_size;
    u.manifest.image_sha256 = sha256_hex(image.bytes);
    u.files.push_back(viewed_file(kImageCopyName, image.bytes));
    const Salvage salvage = salvage_components(image, s);
    for (const LostStretch& lost : salvage.lost) add_lost(u, image, lost);
    for (const Component& c : salvage.components) {
        if (c.head)
            add_member(u, image, c);
        else
            add_block(u, image, c);
    }
    return u;
}

bool replace_piece(void* context, std::span<const std::uint8_t> piece) {
    return write_piece(*static_cast<FileReplacement*>(context), piece);
}

// A file of a refreshed folder, replaced all or nothing: a new file beside
// it renamed over it, a link at its name replaced, never followed.
bool replace_one(const BiosImage& image, const std::string& path, const OutFile& f) {
    const std::unique_ptr<FileReplacement> r = begin_replace(path, AtName::Replace);
    if (!r) return false;
    const bool ok = f.member ? expand_into(image, f, {replace_piece, r.get()}) : write_piece(*r, f.content());
    return ok && commit_replace(*r, Flush::ToDisk);
}

// A file made new in the folder held open, never through a link or over a
// file that appeared there since the folder was found fit; nothing when it
// could not be (said).
std::optional<platform::FileHandle> create_one(const BiosImage& image, const platform::Folder& folder,
                                               const std::string& dir, const OutFile& f) {
    const std::string path = (fs::path(dir) / f.name).string();
    platform::FileHandle out = platform::create_in(folder, f.name);
    if (!out.is_open()) {
        std::error_code ignored;
        if (fs::exists(fs::symlink_status(path, ignored)))
            console::notef(
                "Can't create %s: something stands there since %s was found empty; nothing was written "
                "through it",
                path.c_str(), dir.c_str());
        else
            console::conf("Can't write %s\n", path.c_str());
        return std::nullopt;
    }
    const bool ok = f.member ? expand_into(image, f, {write_piece, &out}) : platform::write_all(out, f.content());
    if (!ok) {
        console::conf("Can't write %s\n", path.c_str());
        return std::nullopt;
    }
    return out;
}

// The folder's files, made new (or, on a refresh, replaced) and flushed;
// what the run then ends with when one could not be.
std::optional<GroupResult> write_folder(const BiosImage& image, const std::string& dir, const Unpacked& u,
                                        bool refresh) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    const platform::Folder folder = platform::open_folder(dir);
    if (unpack_folder_checked) unpack_folder_checked(dir);
    GroupResult cannot;
    cannot.write_failed = true;
    if (ec || !folder.is_open()) {
        console::conf("Can't write %s\n", dir.c_str());
        return cannot;
    }
    std::vector<std::pair<std::string, platform::FileHandle>> written;
    for (const OutFile& f : u.files) {
        const std::string path = (fs::path(dir) / f.name).string();
        if (refresh) {
            if (replace_one(image, path, f)) continue;
            console::conf("Can't write %s\n", path.c_str());
            return cannot;
        }
        std::optional<platform::FileHandle> out = create_one(image, folder, dir, f);
        if (!out) return cannot;
        written.push_back({path, std::move(*out)});
    }
    // Flushed once all are written: the disk then takes them in one go.
    for (const auto& [path, out] : written)
        if (!platform::sync(out)) {
            console::conf("Can't write %s\n", path.c_str());
            return cannot;
        }
    if (!platform::sync(folder)) {
        console::conf("Can't write %s\n", dir.c_str());
        return cannot;
    }
    return std::nullopt;
}

}  // namespace

std::string content_file_name(const std::string& kind, bool rom) {
    return kind + (rom ? ".rom" : ".bin");
}

GroupResult unpack_image(const Operand& op) {
    const BiosImage& image = op.image.image();
    const std::string& dir = op.group.rom_file;
    GroupResult failed;
    failed.problems = 1;
    if (const std::optional<std::string> why = not_a_bios_image(image)) {
        console::notef("%s is no BIOS image: %s; nothing unpacked", image.path.c_str(), why->c_str());
        return failed;
    }
    const ImageSurvey survey = survey_image(image);
    const UnpackFolder found = examine_folder(dir);
    if (!found.why_not.empty()) {
        console::notef(
            "%s: the folder must not exist, hold only dot-entries or be an earlier unpack; nothing "
            "unpacked",
            found.why_not.c_str());
        return failed;
    }
    Unpacked u = unpack(image, survey);
    const std::string text =
        manifest_text(u.manifest, "mozaik32 /unpack of " + fs::path(image.path).filename().string());
    u.files.push_back(held_file(kManifestName, {text.begin(), text.end()}));
    if (std::optional<GroupResult> cannot = write_folder(image, dir, u, found.refresh)) return *cannot;
    if (found.existed) {
        std::set<std::string> written;
        for (const OutFile& f : u.files) written.insert(f.name);
        tidy_folder(dir, found.named, written);
    }
    GroupResult done;
    done.damaged = u.damaged;
    console::outf("%s unpacked into %s: %zu components, %s\n", image.path.c_str(), dir.c_str(), u.manifest.lines.size(),
                  kManifestName);
    if (u.damaged != 0)
        console::note(image.path + ": " + std::to_string(u.damaged) + " damaged (named above and in " + kManifestName +
                      "); /pack takes the folder once each \".damaged.\" line is dealt with");
    return done;
}
