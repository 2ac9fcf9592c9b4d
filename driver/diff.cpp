// /diff: two surveys rendered side by side.
#include "driver/diff.hpp"

#include <algorithm>
#include <cstdio>

#include "common/console.hpp"
#include "common/json.hpp"
#include "common/sha256.hpp"
#include "driver/dry_run.hpp"
#include "report/report.hpp"
#include "image/bios_image.hpp"
#include "image/image_file.hpp"
#include "image/image_writer.hpp"
#include "image/survey.hpp"

namespace {

// One component of an image, as the comparison sees it.
struct Part {
    const char* place = "chain";
    std::string type_id;  // SSSS:OOOO, "-" for the blocks that are no members
    std::string name;     // the stored name; the trailer's for the top block
    std::uint32_t position = 0, extent = 0;
    std::uint32_t original = 0, packed = 0;
    std::string sha256;   // of the content; empty when it cannot be expanded
};

const char* place_of(MemberPlace p) {
    switch (p) {
    case MemberPlace::SystemBios: return "bios";
    case MemberPlace::BootBlock: return "boot_vga";
    case MemberPlace::Chain: break;
    }
    return "chain";
}

std::vector<Part> parts(const BiosImage& image, const ImageSurvey& s) {
    std::vector<Part> out;
    for (const MemberCheck& m : s.check->members) {
        char type_id[16];
        std::snprintf(type_id, sizeof type_id, "%04X:%04X", type_segment(m.head), type_offset(m.head));
        out.push_back({place_of(m.place), type_id, std::string(listed_name(m.head)), m.position,
                       static_cast<std::uint32_t>(member_span(m.head)), original_size(m.head), packed_size(m.head),
                       m.content_sha256.value_or("")});
    }
    const auto block = [&](const char* place, ByteRange r, std::string name) {
        const auto bytes = std::span(image.bytes).subspan(r.begin, r.end - r.begin);
        out.push_back({place, "-", std::move(name), r.begin, r.end - r.begin, r.end - r.begin, r.end - r.begin,
                       sha256_hex(bytes)});
    };
    if (s.top_block && s.top_block->length != 0)
        block("top", {s.top_block->start, s.top_block->start + s.top_block->length}, s.top_block->name);
    if (const std::optional<ByteRange> slot = region_range(image, Region::MemorySlot); slot && s.memory_module)
        block("memory", *slot, "NVMM");
    return out;
}

struct Change {
    const char* what;  // "added", "removed", "changed", "moved"
    const Part* before = nullptr;
    const Part* after = nullptr;
};

std::vector<Change> changes(const std::vector<Part>& a, const std::vector<Part>& b) {
    std::vector<const Part*> match(a.size(), nullptr);
    std::vector<bool> taken(b.size());
    const auto pair_up = [&](bool by_name) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (match[i]) continue;
            for (std::size_t j = 0; j < b.size(); ++j) {
                if (taken[j] || std::string_view(a[i].place) != b[j].place || a[i].type_id != b[j].type_id) continue;
                if (by_name && a[i].name != b[j].name) continue;
                match[i] = &b[j];
                taken[j] = true;
                break;
            }
        }
    };
    pair_up(true);
    pair_up(false);
    std::vector<Change> out;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Part* m = match[i];
        if (!m) {
            out.push_back({"removed", &a[i], nullptr});
        } else if (m->sha256 != a[i].sha256 || m->sha256.empty() || m->original != a[i].original ||
                   m->packed != a[i].packed || m->name != a[i].name) {
            out.push_back({"changed", &a[i], m});
        } else if (m->position != a[i].position) {
            out.push_back({"moved", &a[i], m});
        }
    }
    for (std::size_t j = 0; j < b.size(); ++j)
        if (!taken[j]) out.push_back({"added", nullptr, &b[j]});
    return out;
}

// The differing bytes that lie outside every component of both images.
std::vector<ByteChange> outside_changes(const BiosImage& a, const BiosImage& b, const std::vector<Part>& pa,
                                        const std::vector<Part>& pb) {
    std::vector<ByteChange> out;
    for (const ByteChange& c : byte_changes(a, b)) {
        const auto inside = [&c](const Part& p) {
            return c.offset >= p.position && std::uint64_t{c.offset} + c.length <= std::uint64_t{p.position} + p.extent;
        };
        if (std::ranges::none_of(pa, inside) && std::ranges::none_of(pb, inside)) out.push_back(c);
    }
    return out;
}

void write_part(JsonWriter& json, const Part* p) {
    if (!p) {
        json.null();
        return;
    }
    json.begin_object();
    json.key("place").value(p->place).key("type_id").value(p->type_id).key("stored_name").value(p->name);
    json.key("offset").value(p->position).key("extent").value(p->extent);
    json.key("original_size").value(p->original).key("packed_size").value(p->packed);
    json.key("sha256");
    if (p->sha256.empty()) json.null(); else json.value(p->sha256);
    json.end_object();
}

void print_part_change(const Change& c) {
    const Part& p = c.before ? *c.before : *c.after;
    console::outf("  %-7s %s %s \"%s\"", c.what, p.place, p.type_id.c_str(), console::shown(p.name).c_str());
    if (c.before && c.after) {
        console::outf(" %05Xh->%05Xh", c.before->position, c.after->position);
        if (std::string_view(c.what) == "changed")
            console::outf(" %u->%u %.8s->%.8s", c.before->original, c.after->original, c.before->sha256.c_str(),
                          c.after->sha256.c_str());
    } else {
        console::outf(" %05Xh %u %.8s", p.position, p.original, p.sha256.c_str());
    }
    console::out("\n");
}

}  // namespace

GroupResult diff_images(const Operand& op) {
    const BiosImage& a = op.image.image();
    const std::string& other_path = op.group.rom_file;
    GroupResult unreadable;
    unreadable.unreadable = true;
    // Under the readers' lock, as any run that reads an image: a half-saved
    // OTHER is restored first, or refused with its journal.
    ImageFile other;
    const LockOutcome got = lock_image(other_path, platform::Lock::Shared, kLockWait, other);
    if (got == LockOutcome::InUse) {
        console::conf("%s is in use by another run; no image compared\n", other_path.c_str());
        return unreadable;
    }
    if (got == LockOutcome::NoLock || got == LockOutcome::Refused) return unreadable;  // said
    OpenedImage opened = got == LockOutcome::Locked ? read_image(other, false) : OpenedImage{};
    if (!opened.image) {
        console::conf("Can't read %s: no image compared\n", other_path.c_str());
        return unreadable;
    }
    const BiosImage& b = *opened.image;
    for (const BiosImage* image : {&a, &b})
        if (const std::optional<std::string> why = not_a_bios_image(*image)) {
            console::conf("%s is no BIOS image: %s; no image compared\n", image->path.c_str(), why->c_str());
            return unreadable;
        }
    const ImageSurvey sa = survey_image(a, SurveyDepth::Digested), sb = survey_image(b, SurveyDepth::Digested);
    const std::vector<Part> pa = parts(a, sa), pb = parts(b, sb);
    const std::vector<Change> parts_changed = changes(pa, pb);
    const bool same_size = a.bytes.size() == b.bytes.size();
    const std::vector<ByteChange> bytes = same_size ? outside_changes(a, b, pa, pb) : std::vector<ByteChange>{};
    const bool same = a.bytes == b.bytes;
    if (op.group.json) {
        JsonWriter json;
        begin_document(json, "image_diff", a.path, a);
        json.key("other").begin_object().key("path").path(b.path).key("size").value(b.file_size);
        json.key("sha256").value(sha256_hex(b.bytes)).end_object();
        json.key("same").value(same);
        json.key("components").begin_array();
        for (const Change& c : parts_changed) {
            json.begin_object().key("change").value(c.what).key("before");
            write_part(json, c.before);
            json.key("after");
            write_part(json, c.after);
            json.end_object();
        }
        json.end_array().key("bytes_outside").begin_array();
        for (const ByteChange& c : bytes)
            json.begin_object().key("offset").value(c.offset).key("length").value(c.length).key("what").value(c.what).end_object();
        json.end_array().end_object();
        console::document(json.text());
    } else if (same) {
        console::outf("%s and %s are the same\n", a.path.c_str(), b.path.c_str());
    } else {
        console::outf("%s -> %s\n", a.path.c_str(), b.path.c_str());
        if (!same_size) console::outf("  size    %u -> %u bytes\n", a.file_size, b.file_size);
        for (const Change& c : parts_changed) print_part_change(c);
        for (const ByteChange& c : bytes)
            console::outf("  bytes   %05Xh-%05Xh (%u bytes) %s\n", c.offset, c.offset + c.length - 1, c.length,
                          c.what.c_str());
    }
    GroupResult r;
    r.problems = same ? 0 : 1;
    return r;
}
