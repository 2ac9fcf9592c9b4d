// /unpack: the survey of an image rendered as files and a manifest.
#include "driver/unpack.hpp"

#include <cstdio>
#include <filesystem>

#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "common/catalogue.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "common/sha256.hpp"
#include "driver/manifest.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "image/survey.hpp"
#include "picture/logo.hpp"

namespace fs = std::filesystem;

namespace {

struct OutFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

struct Unpacked {
    Manifest manifest;
    std::vector<OutFile> files;
    std::string failure;  // why nothing was written
};

std::string type_id_text(const MemberHead& head) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X:%04X", type_segment(head), type_offset(head));
    return buf;
}

// The kind's word in file names: the switch without its slash, else the TypeId.
std::string kind_word(const MemberHead& head) {
    const std::string sw = switch_of_type(type_segment(head), type_offset(head));
    if (!sw.empty()) return sw.substr(1);
    char buf[24];
    std::snprintf(buf, sizeof buf, "type_%04X_%04X", type_segment(head), type_offset(head));
    return buf;
}

bool is_rom(std::span<const std::uint8_t> content) {
    return content.size() > 2 && content[0] == 0x55 && content[1] == 0xAA;
}

// A member's line and its content file (and a logo's bitmap).
void add_member(Unpacked& u, const BiosImage& image, const char* place, std::uint32_t position, const char* word_given) {
    const MemberHead head = read_member_head(image.bytes, position);
    const Expansion e = expand_member(std::span(image.bytes).subspan(position), original_size(head));
    if (e.status != Expansion::Status::Complete || e.data.size() != original_size(head)) {
        char buf[120];
        std::snprintf(buf, sizeof buf, "the component at %05Xh cannot be expanded whole (/verify says why)", position);
        u.failure = buf;
        return;
    }
    const std::size_t index = u.manifest.lines.size();
    const std::string word = word_given ? word_given : kind_word(head);
    ManifestLine l;
    l.place = place;
    l.file = content_file_name(index, word, is_rom(e.data));
    // The system BIOS and the boot block's VGA member are no chain kinds.
    const std::string sw = word_given ? std::string(place == std::string_view("boot_vga") ? "/btvga" : "")
                                      : switch_of_type(type_segment(head), type_offset(head));
    l.switch_text = sw.empty() ? "-" : sw;
    l.type_id = type_id_text(head);
    l.method = std::string(method_text(head));
    l.at = position;
    l.original = original_size(head);
    l.packed = packed_size(head);
    l.sha256 = sha256_hex(e.data);
    l.name = std::string(listed_name(head));
    const OptionCode code = lookup_option(sw);
    if (code != 0 && kind(code).extracts_picture) {
        // A copy to look at; /pack reads the content file.
        if (std::optional<std::vector<std::uint8_t>> bmp = logo_to_bmp(e.data, l.file))
            u.files.push_back({l.file.substr(0, l.file.size() - 4) + ".bmp", std::move(*bmp)});
    }
    u.files.push_back({l.file, e.data});
    u.manifest.lines.push_back(std::move(l));
}

// A block that is no member (the top microcode block, the memory-module slot).
void add_block(Unpacked& u, const BiosImage& image, const char* place, const char* word, ByteRange range,
               const std::string& name) {
    const std::span<const std::uint8_t> bytes = std::span(image.bytes).subspan(range.begin, range.end - range.begin);
    ManifestLine l;
    l.place = place;
    l.file = content_file_name(u.manifest.lines.size(), word, false);
    l.switch_text = "-";
    l.type_id = "-";
    l.method = "raw";
    l.at = range.begin;
    l.original = static_cast<std::uint32_t>(bytes.size());
    l.sha256 = sha256_hex(bytes);
    l.name = name;
    u.files.push_back({l.file, {bytes.begin(), bytes.end()}});
    u.manifest.lines.push_back(std::move(l));
}

Unpacked unpack(const BiosImage& image, const ImageSurvey& s) {
    Unpacked u;
    u.manifest.image_file = kImageCopyName;
    u.manifest.image_size = image.file_size;
    u.manifest.image_sha256 = sha256_hex(image.bytes);
    u.files.push_back({kImageCopyName, image.bytes});
    if (s.system_bios.head) add_member(u, image, "bios", s.system_bios.position, "system_bios");
    for (const ChainMember& m : s.chain.members)
        if (u.failure.empty()) add_member(u, image, "chain", m.position, nullptr);
    if (s.top_block && s.top_block->length != 0)
        add_block(u, image, "top", "top_block", {s.top_block->start, s.top_block->start + s.top_block->length},
                  s.top_block->name);
    if (s.vga_member && u.failure.empty()) add_member(u, image, "boot_vga", s.vga_member->position, "boot_vga");
    if (const std::optional<ByteRange> slot = region_range(image, Region::MemorySlot); slot && s.memory_module)
        add_block(u, image, "memory", "memory_module", *slot, "NVMM");
    return u;
}

// Why `dir` cannot take the folder; empty when it can.
std::string unusable_folder(const std::string& dir) {
    std::error_code ec;
    const fs::file_status st = fs::status(dir, ec);
    if (!fs::exists(st)) return {};
    if (!fs::is_directory(st)) return dir + " is no folder";
    if (!fs::is_empty(dir, ec) || ec) return dir + " is not empty";
    return {};
}

}  // namespace

std::string content_file_name(std::size_t index, const std::string& kind, bool rom) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02zu-", index);
    return buf + kind + (rom ? ".rom" : ".bin");
}

GroupResult unpack_image(const Operand& op) {
    const BiosImage& image = op.image.image();
    const std::string& dir = op.group.rom_file;
    GroupResult failed;
    failed.problems = 1;
    if (const std::optional<std::string> why = not_a_bios_image(image)) {
        console::conf("%s is no BIOS image: %s; nothing unpacked\n", image.path.c_str(), why->c_str());
        return failed;
    }
    const ImageSurvey survey = survey_image(image);
    if (chain_damaged(survey.chain.end)) {
        console::conf("%s: the chain is damaged at %05Xh (/verify says more); nothing unpacked\n", image.path.c_str(),
                      survey.chain.end_position);
        return failed;
    }
    if (const std::string why = unusable_folder(dir); !why.empty()) {
        console::conf("%s: the folder must not exist or be empty; nothing unpacked\n", why.c_str());
        return failed;
    }
    Unpacked u = unpack(image, survey);
    if (!u.failure.empty()) {
        console::conf("%s: %s; nothing unpacked\n", image.path.c_str(), u.failure.c_str());
        return failed;
    }
    const std::string text = manifest_text(u.manifest, "mozaik32 /unpack of " + fs::path(image.path).filename().string());
    u.files.push_back({kManifestName, {text.begin(), text.end()}});
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (const OutFile& f : u.files) {
        const std::string path = (fs::path(dir) / f.name).string();
        if (ec || !write_file(path, f.bytes)) {
            console::conf("Can't write %s\n", path.c_str());
            GroupResult r;
            r.write_failed = true;
            return r;
        }
    }
    console::outf("%s unpacked into %s: %zu components, %s\n", image.path.c_str(), dir.c_str(),
                  u.manifest.lines.size(), kManifestName);
    return {};
}
