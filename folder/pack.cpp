// /pack: the manifest's lines laid out again into an image, through the writer.
#include "folder/pack.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <variant>

#include "archive/crc16.hpp"
#include "archive/member_header.hpp"
#include "archive/pack.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "common/platform.hpp"
#include "common/private_folder.hpp"
#include "common/sha256.hpp"
#include "folder/manifest.hpp"
#include "folder/pack_adds.hpp"
#include "folder/pack_blocks.hpp"
#include "folder/stored_members.hpp"
#include "image/bios_image.hpp"
#include "image/fixups.hpp"
#include "image/image_file.hpp"
#include "image/image_writer.hpp"
#include "image/salvage.hpp"
#include "image/survey.hpp"
#include "insert/placement.hpp"
#include "report/dry_run.hpp"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A line with its content file read.
struct LineContent {
    const ManifestLine* line = nullptr;
    Bytes content;
    bool changed = false;  // the content's SHA-256 is not the line's (an added line too)
};

struct PackPlan {
    std::vector<Bytes> chain;   // the members kept as stored, in order, as they go from chain_start
    std::vector<LineAdd> adds;  // the changed and new chain lines, in order, added behind them
    std::optional<Bytes> system_bios;
    int kept = 0, packed = 0;
    Encoder encoder = Encoder::Exact;  // what packs the changed lines (/best)
};

bool same_type_id(const std::string& text, const MemberHead& head) {
    const TypeIdValue v = parse_type_id(text);
    return v.segment == type_segment(head) && v.offset == type_offset(head);
}

// The member as it was stored, when the line still describes it.
std::optional<Bytes> stored_member(const BiosImage& base, const LineContent& c) {
    const ManifestLine& l = *c.line;
    if (c.changed || !l.at) return std::nullopt;
    const MemberHead head = read_member_head(base.bytes, *l.at);
    if (!is_whole_header(head) || !same_type_id(l.type_id, head) || listed_name(head) != l.name ||
        method_text(head) != l.method || *l.at + member_span(head) > base.bytes.size())
        return std::nullopt;
    const auto from = base.bytes.begin() + *l.at;
    return Bytes(from, from + static_cast<std::ptrdiff_t>(member_span(head)));
}

// The member of the line as it goes to `position`, as stored; nothing when
// it must be added anew (changed, new, or a /NoCompress member that would
// no longer start its data on 16 bytes there).
std::optional<Bytes> kept_member(const BiosImage& base, const LineContent& c, std::uint32_t position) {
    const ManifestLine& l = *c.line;
    const TypeIdValue type = parse_type_id(l.type_id);
    std::optional<Bytes> stored = stored_member(base, c);
    if (stored && aligned_kind(type.segment, type.offset) && position != *l.at) return std::nullopt;
    return stored;
}

// Why the manifest's file name `file` may not be read from the folder;
// empty when it may: a relative path with no ".." part (and, on Windows,
// no drive).
std::string leaves_folder(const std::string& file) {
    if (file.empty()) return "names no file";
    if (file.front() == '/' || (platform::kWindows && (file.front() == '\\' || file.find(':') != std::string::npos)))
        return "is an absolute path";
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = file.find_first_of(platform::kFolderSeparators, from);
        if (file.substr(from, end == std::string::npos ? std::string::npos : end - from) == "..")
            return "has a \"..\" part";
        if (end == std::string::npos) return {};
        from = end + 1;
    }
}

// The content of the file `file` inside the folder, read through the
// handle open_in checked (no link followed, nothing outside the folder),
// its size checked against `limit` before a byte is read; or the fault,
// for a manifest line `l` (or the image line, when null).
std::variant<Bytes, std::string> read_in_folder(const platform::Folder& folder, const std::string& file,
                                                std::size_t limit, const ManifestLine* l, int image_line = 0) {
    const auto fault = [&](const std::string& what) {
        if (l) return line_fault(*l, what);
        return image_line ? "manifest line " + std::to_string(image_line) + ": " + what : what;
    };
    const std::string path = (fs::path(folder.path) / file).string();
    if (const std::string why = leaves_folder(file); !why.empty())
        return fault(file + " " + why + ": /pack reads only files inside " + folder.path +
                     "; copy the file into the folder");
    platform::OpenedIn opened = platform::open_in(folder, file);
    switch (opened.status) {
    case platform::OpenIn::Opened: break;
    case platform::OpenIn::Link:
        return fault(file + " is or passes through a symbolic link: /pack follows no link out of " + folder.path +
                     "; copy the file into the folder");
    case platform::OpenIn::NotRegular: return fault(path + " is no regular file; copy the file into the folder");
    case platform::OpenIn::Missing:
    case platform::OpenIn::Failed: return fault("can't read " + path);
    }
    const std::optional<std::uint64_t> size = platform::file_size(opened.file);
    if (!size) return fault("can't read " + path);
    if (*size > limit)
        return fault(path + " has " + std::to_string(*size) + " bytes, more than the " + std::to_string(limit) +
                     " it may have; shrink it");
    // Read to its end: a file that grew meanwhile past the limit is refused.
    Bytes bytes(static_cast<std::size_t>(*size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (bytes.size() > limit) return fault(path + " grew past " + std::to_string(limit) + " bytes while read");
            bytes.resize(std::min(bytes.size() * 2, limit + 1));
        }
        const std::optional<std::size_t> n = platform::read_some(opened.file, std::span(bytes).subspan(got));
        if (!n) return fault("can't read " + path);
        if (*n == 0) break;
        got += *n;
    }
    if (got > limit) return fault(path + " grew past " + std::to_string(limit) + " bytes while read");
    bytes.resize(got);
    return bytes;
}

// Reads every content file; checks the lines that are no chain members.
std::variant<std::vector<LineContent>, std::string> read_contents(const platform::Folder& folder, const Manifest& m,
                                                                  const ImageSurvey& base) {
    std::vector<LineContent> out;
    for (const ManifestLine& l : m.lines) {
        std::variant<Bytes, std::string> content = read_in_folder(folder, l.file, member::kMaxMemberSize, &l);
        if (std::string* fault = std::get_if<std::string>(&content)) return std::move(*fault);
        Bytes& bytes = std::get<Bytes>(content);
        const bool changed = l.sha256.empty() || sha256_hex(bytes) != l.sha256;
        out.push_back({&l, std::move(bytes), changed});
    }
    // Each component outside the chain stays: a line for it must be there.
    for (const Component& c : base.components) {
        if (c.place == Place::Chain) continue;
        if (std::ranges::none_of(m.lines, [&c](const ManifestLine& l) { return l.place == c.place; }))
            return std::string("the manifest has no \"") + place_word(c.place) +
                   "\" line: /pack does not remove it; put it back";
    }
    return out;
}

// The system BIOS packed anew, when it changed: it must keep its space.
std::optional<std::string> plan_system_bios(const BiosImage& base, const ImageSurvey& s, const LineContent& c,
                                            PackPlan& plan) {
    const ManifestLine& l = *c.line;
    if (!c.changed) return std::nullopt;
    const std::optional<ByteRange> space = region_range(base, Region::SystemBios);
    if (!space) return line_fault(l, "this image's system BIOS is not packed anew by /pack");
    std::optional<Bytes> archive = pack_line(l, c.content, plan.encoder);
    if (!archive) return line_fault(l, "the stored name is longer than 230 bytes");
    const MemberHead head = read_member_head(*archive, 0);
    const std::uint32_t needs =
        system_bios_space(s.system_bios.position, header_size(head), packed_size(head), base.file_size);
    if (needs != s.system_bios.space)
        return line_fault(l, "the new system BIOS takes " + std::to_string(needs) + " bytes of space, the image has " +
                                 std::to_string(s.system_bios.space) + "; the chain would move");
    archive->resize(space->end - space->begin, 0xFF);
    plan.system_bios = std::move(*archive);
    ++plan.packed;
    return std::nullopt;
}

// The lines whose member goes back as stored with data that fails its CRC
// (the image /unpack read was damaged there, and /unpack said so): each
// said on the console channel; how many.
int say_damaged_kept(const BiosImage& base, const std::vector<LineContent>& components) {
    int damaged = 0;
    for (const LineContent& c : components) {
        const ManifestLine& l = *c.line;
        if (c.changed || !l.at || !place_row(l.place).member) continue;
        const MemberHead head = read_member_head(base.bytes, *l.at);
        if (!is_whole_header(head)) continue;
        const std::optional<std::uint16_t> recorded = recorded_crc(header_in_holder(head));
        if (!recorded || *recorded == crc16::update(0, c.content)) continue;
        console::conf(
            "manifest line %d: the member at %05Xh goes back as stored, and its data fails its CRC as in the "
            "image /unpack read\n",
            l.number, *l.at);
        ++damaged;
    }
    return damaged;
}

std::variant<PackPlan, std::string> plan_pack(const BiosImage& base, const ImageSurvey& s,
                                              const std::vector<LineContent>& components, Encoder encoder) {
    PackPlan plan;
    plan.encoder = encoder;
    std::uint64_t position = base.chain_start;
    const std::uint32_t end = chain_space_end(base);
    for (const LineContent& c : components) {
        if (c.line->place == Place::SystemBios) {
            if (std::optional<std::string> fault = plan_system_bios(base, s, c, plan)) return *fault;
            continue;
        }
        if (c.line->place != Place::Chain) {
            ++(c.changed ? plan.packed : plan.kept);  // a block outside the chain, put in by lay_out
            continue;
        }
        std::optional<Bytes> member = kept_member(base, c, static_cast<std::uint32_t>(position));
        if (!member) {
            plan.adds.push_back({c.line, c.content});
            ++plan.packed;
            continue;
        }
        ++plan.kept;
        position += member->size();
        plan.chain.push_back(std::move(*member));
    }
    if (position > end)
        return "the chain overflows its space by " + std::to_string(position - end) +
               " bytes; remove or shrink a component";
    return plan;
}

// The plan written through the writer, then the changed blocks outside the
// chain; the fix-ups when anything changed. A fault leaves `image` half-made.
std::optional<std::string> lay_out(BiosImage& image, const ImageSurvey& s, std::uint32_t chain_end,
                                   const PackPlan& plan, const std::vector<LineContent>& components,
                                   const std::string& work_folder) {
    ImageWriter writer(image);
    const std::vector<std::uint8_t> before = image.bytes;
    if (plan.system_bios) {
        WriteScope scope(writer, {Region::SystemBios});
        scope.write(s.system_bios.position, *plan.system_bios);
    }
    {
        WriteScope scope(writer, {Region::Chain});
        std::uint32_t at = image.chain_start;
        for (const Bytes& member : plan.chain) {
            scope.write(at, member);
            at += static_cast<std::uint32_t>(member.size());
        }
        // The old chain's bytes behind the new one are erased (a damaged
        // chain's as far as the salvage found anything).
        if (at < chain_end) scope.write(at, Bytes(chain_end - at, 0xFF));
    }
    if (std::optional<std::string> fault = add_lines(writer, plan.adds, work_folder, plan.encoder == Encoder::Best))
        return fault;
    std::vector<ChangedBlock> blocks;
    for (const LineContent& c : components)
        if (c.changed && c.line->place != Place::Chain && c.line->place != Place::SystemBios)
            blocks.push_back({c.line, c.content, plan.encoder});
    FixupRequest fixups;
    if (std::optional<std::string> fault = put_changed_blocks(writer, blocks, fixups)) return fault;
    if (image.bytes != before) close_image_bookkeeping(writer, fixups);
    return std::nullopt;
}

int fail(const std::string& what) {
    console::note(what + "; nothing was written");
    return 1;
}

// The folder's manifest, read through `folder` and checked: well formed, no
// conflict, no line a salvage left damaged; or the fault, whole.
std::variant<Manifest, std::string> read_manifest(const platform::Folder& folder, const std::string& dir) {
    const std::string manifest_path = (fs::path(dir) / kManifestName).string();
    const std::string not_made = dir + " is no folder /unpack made: can't read " + manifest_path;
    if (!folder.is_open()) return not_made;
    std::variant<Bytes, std::string> text = read_in_folder(folder, kManifestName, kMaxInputFile, nullptr);
    if (const std::string* fault = std::get_if<std::string>(&text)) {
        std::error_code ec;
        return fs::exists(fs::symlink_status(manifest_path, ec)) ? *fault : not_made;
    }
    const Bytes& bytes = std::get<Bytes>(text);
    std::variant<Manifest, std::string> parsed = parse_manifest(std::string(bytes.begin(), bytes.end()));
    if (const std::string* fault = std::get_if<std::string>(&parsed)) return manifest_path + ": " + *fault;
    const Manifest& manifest = std::get<Manifest>(parsed);
    if (const std::optional<std::string> fault = manifest_conflict(manifest)) return manifest_path + ": " + *fault;
    for (const ManifestLine& l : manifest.lines)
        if (const std::optional<std::string> fault = damaged_line(l)) return manifest_path + ": " + *fault;
    return parsed;
}

// Each stretch of image.bin's chain where /unpack could read no member,
// said as left out; whether there is any.
bool say_lost(const Salvage& salvage, const std::string& image_path) {
    for (const LostStretch& lost : salvage.lost)
        console::notef("%s: no member could be read from %05Xh to %05Xh; what stood there is left out",
                       image_path.c_str(), lost.begin, lost.end);
    return !salvage.lost.empty();
}

}  // namespace

int pack_folder(const PackRequest& r) {
    const std::string& dir = r.dir;
    // The target first: a FIFO, a device or a folder at NEW is refused
    // before any work (a FIFO with no reader would hold the write for ever).
    std::error_code ec;
    const fs::file_status target = fs::status(r.output, ec);
    if (fs::exists(target) && !fs::is_regular_file(target))
        return fail(r.output + " is no regular file (a FIFO, a device or a folder): /pack writes an image file");
    const platform::Folder folder = platform::open_folder(dir);
    std::variant<Manifest, std::string> parsed = read_manifest(folder, dir);
    if (const std::string* fault = std::get_if<std::string>(&parsed)) return fail(*fault);
    Manifest& manifest = std::get<Manifest>(parsed);
    std::variant<Bytes, std::string> read =
        read_in_folder(folder, manifest.image_file, kMaxImageSize, nullptr, manifest.image_line);
    if (const std::string* fault = std::get_if<std::string>(&read)) return fail(*fault);
    const std::string image_path = (fs::path(dir) / manifest.image_file).string();
    std::optional<Bytes> saved = std::move(std::get<Bytes>(read));
    if (saved->size() != manifest.image_size || sha256_hex(*saved) != manifest.image_sha256)
        return fail(image_path + " is not the image /unpack saved (its size or SHA-256 differs); unpack again");
    BiosImage base;
    base.path = r.output;
    base.bytes = std::move(*saved);
    analyse_layout(base);
    const ImageSurvey s = survey_image(base);
    // Members /unpack found past a damaged link of the chain go back too;
    // what it could not read there is left out, as it said.
    const Salvage salvage = salvage_components(base, s);
    if (say_lost(salvage, image_path) && r.err_mode) return fail("a stretch of the chain could not be read (/err)");
    locate_stored_members(base, salvage.components, manifest);
    std::variant<std::vector<LineContent>, std::string> components = read_contents(folder, manifest, s);
    if (const std::string* fault = std::get_if<std::string>(&components)) return fail(*fault);
    // Under /err a member that goes back damaged fails the run; otherwise
    // it is said, and an untouched folder still gives the same bytes.
    if (say_damaged_kept(base, std::get<std::vector<LineContent>>(components)) != 0 && r.err_mode)
        return fail("a member fails its CRC (/err)");
    std::variant<PackPlan, std::string> plan =
        plan_pack(base, s, std::get<std::vector<LineContent>>(components), r.best ? Encoder::Best : Encoder::Exact);
    if (const std::string* fault = std::get_if<std::string>(&plan)) return fail(*fault);
    BiosImage image = base;
    // The adds' work files go to a private folder: /pack writes nothing beside NEW.
    PrivateFolder work;
    if (!make_private_folder(work)) return fail("Can't make a private folder for the adds' work files");
    if (std::optional<std::string> fault =
            lay_out(image, s, std::max(s.chain.end_position, salvage.chain_end), std::get<PackPlan>(plan),
                    std::get<std::vector<LineContent>>(components), work.path))
        return fail(*fault);
    if (r.dry) {
        PrivateFolder folder;
        if (!make_private_folder(folder)) return fail("Can't make a private folder for the dry run");
        report_dry_run({r.output, r.json, base, image, 0, folder.path});
        return 0;
    }
    if (!write_new_image(r.output, image.bytes)) return 1;
    console::outf("%s packed from %s: %d components as stored, %d packed anew\n", r.output.c_str(), dir.c_str(),
                  std::get<PackPlan>(plan).kept, std::get<PackPlan>(plan).packed);
    return 0;
}
