// /diff: two surveys rendered side by side.
#include "report/diff.hpp"

#include <algorithm>
#include <cstdio>

#include "common/console.hpp"
#include "common/json.hpp"
#include "common/sha256.hpp"
#include "image/bios_image.hpp"
#include "image/changes.hpp"
#include "image/image_file.hpp"
#include "image/image_writer.hpp"
#include "image/survey.hpp"
#include "report/report.hpp"

namespace {

// The differing bytes that lie outside every component of both images.
std::vector<ByteChange> outside_changes(const BiosImage& a, const BiosImage& b, const std::vector<ComparedPart>& pa,
                                        const std::vector<ComparedPart>& pb) {
    std::vector<ByteChange> out;
    for (const ByteChange& c : byte_changes(a, b)) {
        const auto inside = [&c](const ComparedPart& p) {
            const Component& k = p.component;
            return c.offset >= k.position && std::uint64_t{c.offset} + c.length <= std::uint64_t{k.position} + k.extent;
        };
        if (std::ranges::none_of(pa, inside) && std::ranges::none_of(pb, inside)) out.push_back(c);
    }
    return out;
}

void write_part(JsonWriter& json, const ComparedPart* p) {
    if (!p) {
        json.null();
        return;
    }
    const Component& k = p->component;
    json.begin_object();
    json.key("place").value(place_word(k.place)).key("type_id").value(p->type_id).key("stored_name").value(k.name);
    json.key("offset").value(k.position).key("extent").value(k.extent);
    json.key("original_size").value(p->original).key("packed_size").value(p->packed);
    json.key("sha256");
    if (p->sha256.empty())
        json.null();
    else
        json.value(p->sha256);
    json.end_object();
}

// A change: what and where on one line, the figures behind it or, when
// they do not fit, on the next.
void print_part_change(const ComponentChange& c) {
    const ComparedPart& p = c.before ? *c.before : *c.after;
    char head[64];
    std::snprintf(head, sizeof head, "  %-8s %s %s ", c.what, place_word(p.component.place), p.type_id.c_str());
    const std::string line = std::string(head).append("\"").append(console::shown(p.component.name)).append("\"");
    char figures[96];
    if (c.before && c.after && std::string_view(c.what) == "replaced")
        std::snprintf(figures, sizeof figures, "%05Xh->%05Xh %u->%u %.8s->%.8s", c.before->component.position,
                      c.after->component.position, c.before->original, c.after->original, c.before->sha256.c_str(),
                      c.after->sha256.c_str());
    else if (c.before && c.after)
        std::snprintf(figures, sizeof figures, "%05Xh->%05Xh", c.before->component.position,
                      c.after->component.position);
    else
        std::snprintf(figures, sizeof figures, "%05Xh %u %.8s", p.component.position, p.original, p.sha256.c_str());
    print_fitted(line, figures, 11);
}

// Two images and what differs between them.
struct DiffReport {
    const BiosImage& a;
    const BiosImage& b;
    const std::vector<ComponentChange>& parts;
    const std::vector<ByteChange>& bytes;
};

// The comparison as one "image_diff" document.
void print_json(const DiffReport& d) {
    const BiosImage& a = d.a;
    const BiosImage& b = d.b;
    JsonWriter json;
    begin_document(json, "image_diff", a.path, a);
    json.key("other").begin_object().key("path").path(b.path).key("size").value(b.file_size);
    json.key("sha256").value(sha256_hex(b.bytes)).end_object();
    json.key("same").value(a.bytes == b.bytes);
    json.key("components").begin_array();
    for (const ComponentChange& c : d.parts) {
        json.begin_object().key("change").value(c.what).key("before");
        write_part(json, c.before);
        json.key("after");
        write_part(json, c.after);
        json.end_object();
    }
    json.end_array().key("bytes_outside").begin_array();
    for (const ByteChange& c : d.bytes)
        json.begin_object()
            .key("offset")
            .value(c.offset)
            .key("length")
            .value(c.length)
            .key("what")
            .value(c.what)
            .end_object();
    json.end_array().end_object();
    console::document(json.text());
}

// The comparison as text: the components that differ, then the bytes.
void print_text(const DiffReport& d) {
    const BiosImage& a = d.a;
    const BiosImage& b = d.b;
    if (a.bytes == b.bytes) {
        console::outf("%s and %s are the same\n", a.path.c_str(), b.path.c_str());
        return;
    }
    console::outf("%s -> %s\n", a.path.c_str(), b.path.c_str());
    if (a.file_size != b.file_size) console::outf("  size     %u -> %u bytes\n", a.file_size, b.file_size);
    for (const ComponentChange& c : d.parts) print_part_change(c);
    for (const ByteChange& c : d.bytes)
        console::outf("  bytes    %05Xh-%05Xh (%u bytes) %s\n", c.offset, c.offset + c.length - 1, c.length,
                      c.what.c_str());
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
    const std::vector<ComparedPart> pa = compared_parts(a, survey_image(a).components);
    const std::vector<ComparedPart> pb = compared_parts(b, survey_image(b).components);
    const std::vector<ComponentChange> parts_changed = component_changes(pa, pb);
    const bool same_size = a.bytes.size() == b.bytes.size();
    const std::vector<ByteChange> bytes = same_size ? outside_changes(a, b, pa, pb) : std::vector<ByteChange>{};
    const bool same = a.bytes == b.bytes;
    const DiffReport report{a, b, parts_changed, bytes};
    if (op.group.json)
        print_json(report);
    else
        print_text(report);
    GroupResult r;
    r.problems = same ? 0 : 1;
    return r;
}
