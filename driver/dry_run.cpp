// What a dry run would change, found by comparing the image as the run
// opened it with the image as the run would leave it.
#include "driver/dry_run.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/catalogue.hpp"
#include "common/console.hpp"
#include "common/json.hpp"
#include "common/platform.hpp"
#include "report/report.hpp"
#include "driver/run_state.hpp"
#include "image/bios_image.hpp"
#include "image/chain.hpp"
#include "image/content_checks.hpp"
#include "image/image_writer.hpp"

namespace {

// A member of the chain with the bytes it takes.
struct Placed {
    std::uint32_t position = 0;
    MemberHead head;
    std::span<const std::uint8_t> bytes;
};

std::vector<Placed> chain_members(const BiosImage& image, const ChainWalk& chain) {
    std::vector<Placed> members;
    for (const ChainMember& m : chain.members)
        members.push_back({m.position, m.header,
                           std::span(image.bytes).subspan(m.position, static_cast<std::size_t>(member_span(m.header)))});
    return members;
}

// Members of one switch's kind (any slot of a ROM family), or else of one TypeId.
bool same_kind(const Placed& a, const Placed& b) {
    const std::string kind_a = switch_of_type(type_segment(a.head), type_offset(a.head));
    const std::string kind_b = switch_of_type(type_segment(b.head), type_offset(b.head));
    if (!kind_a.empty() || !kind_b.empty()) return kind_a == kind_b;
    return type_segment(a.head) == type_segment(b.head) && type_offset(a.head) == type_offset(b.head);
}

bool same_member(const Placed& a, const Placed& b) { return std::ranges::equal(a.bytes, b.bytes); }

// One change of the chain: `before` and `after` as the member was and is.
struct MemberChange {
    const char* what;  // "added", "replaced", "moved", "removed"
    const Placed* before = nullptr;
    const Placed* after = nullptr;
};

// What /verify would say of the content an add or a replacement brings.
std::vector<ContentProblem> content_problems(const MemberChange& c) {
    if (!c.after || c.what == std::string_view("moved")) return {};
    return check_member_content(c.after->bytes, c.after->position);
}

// Members with the same bytes are the same member (moved when their place
// changed); a member gone and one come of the same kind are a replacement;
// the rest were added or removed.
std::vector<MemberChange> member_changes(const std::vector<Placed>& before, const std::vector<Placed>& after) {
    std::vector<bool> old_used(before.size()), new_used(after.size());
    std::vector<MemberChange> changes;
    for (std::size_t a = 0; a < after.size(); ++a)
        for (std::size_t b = 0; b < before.size(); ++b)
            if (!old_used[b] && same_member(before[b], after[a])) {
                old_used[b] = new_used[a] = true;
                if (before[b].position != after[a].position) changes.push_back({"moved", &before[b], &after[a]});
                break;
            }
    for (std::size_t a = 0; a < after.size(); ++a) {
        if (new_used[a]) continue;
        const Placed* old = nullptr;
        for (std::size_t b = 0; b < before.size() && !old; ++b)
            if (!old_used[b] && same_kind(before[b], after[a])) {
                old_used[b] = true;
                old = &before[b];
            }
        changes.push_back({old ? "replaced" : "added", old, &after[a]});
    }
    for (std::size_t b = 0; b < before.size(); ++b)
        if (!old_used[b]) changes.push_back({"removed", &before[b], nullptr});
    return changes;
}

// Changed bytes outside the chain and what they belong to: a named place
// (the top block, a fix-up's bytes, a boot-block slot) from its first
// changed byte to its last, other bytes run by run.
// A region's range under its report name.
struct NamedRange {
    const char* what;
    ByteRange range;
};

// The places bytes outside the chain belong to, looked up in order: the
// writer's regions (the fix-ups' bytes, the top block, the chain's own
// space, which is "chain", and the boot-block slots).
std::vector<NamedRange> places(const BiosImage& before, const BiosImage& after) {
    std::vector<NamedRange> named;
    const auto add = [&named](const BiosImage& image, Region region) {
        if (const std::optional<ByteRange> r = region_range(image, region); r && r->end > r->begin)
            named.push_back({region_name(image, region), *r});
    };
    for (Region r : {Region::Bs1Pointer, Region::CheckBytes, Region::BankCheckByte, Region::SumBytes, Region::TopBlock})
        add(after, r);
    named.push_back({"chain", {before.chain_start, chain_space_end(before)}});
    for (Region r : {Region::BootVgaRoom, Region::BootVgaSlot, Region::MemorySlot}) add(after, r);
    return named;
}

}  // namespace

std::vector<ByteChange> byte_changes(const BiosImage& before, const BiosImage& after) {
    const std::vector<NamedRange> named = places(before, after);
    std::vector<ByteChange> changes;
    const std::size_t n = std::min(before.bytes.size(), after.bytes.size());
    // Equal stretches are passed over a whole aligned block at a time: one
    // compare a block, however the equal and the different bytes alternate.
    constexpr std::size_t kStride = 256;
    for (std::size_t i = 0; i < n; ++i) {
        if (before.bytes[i] == after.bytes[i]) {
            if (i % kStride == 0 && i + kStride <= n && std::memcmp(&before.bytes[i], &after.bytes[i], kStride) == 0)
                i += kStride - 1;
            continue;
        }
        const auto at = static_cast<std::uint32_t>(i);
        const auto place = std::ranges::find_if(named, [at](const NamedRange& r) {
            return at >= r.range.begin && at < r.range.end;
        });
        const std::string what = place == named.end() ? "other" : place->what;
        if (what == "chain") {
            // The chain's changes are the members': its bytes are passed
            // over up to its end, or to where a place looked up before it begins.
            std::uint64_t next = place->range.end;
            for (auto r = named.begin(); r != place; ++r)
                if (r->range.begin > at) next = std::min<std::uint64_t>(next, r->range.begin);
            i = static_cast<std::size_t>(next) - 1;
            continue;
        }
        // A named place is one range, from its first changed byte to its last.
        ByteChange* last = changes.empty() ? nullptr : &changes.back();
        if (last && last->what == what && (what != "other" || last->offset + last->length == at))
            last->length = at - last->offset + 1;
        else
            changes.push_back({at, 1, what});
    }
    return changes;
}

namespace {

struct WrittenFile {
    std::string name;
    std::uint64_t size = 0;
};

std::vector<WrittenFile> written_files(const std::string& folder) {
    std::vector<WrittenFile> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        files.push_back({entry.path().filename().string(), entry.file_size(ec)});
    std::ranges::sort(files, {}, &WrittenFile::name);
    return files;
}

void write_placed(JsonWriter& json, const char* key, const Placed* m) {
    json.key(key);
    if (!m) {
        json.null();
        return;
    }
    json.begin_object();
    json.key("offset").value(m->position);
    json.key("extent").value(static_cast<std::uint32_t>(m->bytes.size()));
    write_member_identity(json, m->head);
    json.end_object();
}

void print_text(const std::vector<MemberChange>& members, const std::vector<ByteChange>& bytes,
                const std::vector<WrittenFile>& files, int status, bool written) {
    console::out("\nDry run: nothing was written; the image and the folder are as they were.\n");
    console::outf("The run would end with status %d and %s.\n", status,
                  written ? "write the changes below into the image" : "leave the image as it is");
    for (const MemberChange& c : members) {
        const Placed& m = c.after ? *c.after : *c.before;
        const std::string name(listing_name(type_segment(m.head), type_offset(m.head)));
        console::outf("  %-9s %s", c.what, name.c_str());
        if (c.before) console::outf(" from %05Xh", c.before->position);
        if (c.after) console::outf(" at %05Xh", c.after->position);
        console::outf(", %05Xh bytes: %s\n", original_size(m.head), console::shown(listed_name(m.head)).c_str());
        for (const ContentProblem& p : content_problems(c)) console::outf("  problem   %s\n", p.text.c_str());
    }
    for (const ByteChange& b : bytes)
        console::outf("  changed   %05Xh-%05Xh: %s\n", b.offset, b.offset + b.length - 1, b.what.c_str());
    for (const WrittenFile& f : files)
        console::outf("  file      %s, %llu bytes\n", f.name.c_str(), static_cast<unsigned long long>(f.size));
}

}  // namespace

PrivateFolder::~PrivateFolder() {
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

bool make_private_folder(PrivateFolder& folder) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return false;
    for (int n = 0; n < 100; ++n) {
        const std::filesystem::path p =
            base / ("mozaik32-dry-" + std::to_string(platform::process_id()) + "-" + std::to_string(n));
        if (std::filesystem::create_directory(p, ec) && !ec) {
            folder.path = p.string();
            return true;
        }
    }
    return false;
}

void report_dry_run(const RunState& state, const BiosImage& before, const BiosImage& after, int status,
                    const std::string& folder) {
    const bool written = before.bytes != after.bytes;
    // Only the chains are compared: the listing's records are not needed.
    const ChainWalk old_chain = walk_image_chain(before), new_chain = walk_image_chain(after);
    const std::vector<Placed> old_members = chain_members(before, old_chain);
    const std::vector<Placed> new_members = chain_members(after, new_chain);
    const std::vector<MemberChange> members = member_changes(old_members, new_members);
    const std::vector<ByteChange> bytes = byte_changes(before, after);
    const std::vector<WrittenFile> files = written_files(folder);
    if (!state.json) {
        print_text(members, bytes, files, status, written);
        return;
    }
    JsonWriter json;
    begin_document(json, "dry_run", state.input_file, before, &after.bytes);
    json.key("exit_status").value(status);
    json.key("image_written").value(written);
    json.key("members").begin_array();
    for (const MemberChange& c : members) {
        json.begin_object().key("change").value(c.what);
        write_placed(json, "before", c.before);
        write_placed(json, "after", c.after);
        json.key("problems").begin_array();
        for (const ContentProblem& p : content_problems(c))
            json.begin_object().key("code").value(p.code).key("text").value(p.text).end_object();
        json.end_array();
        json.end_object();
    }
    json.end_array();
    json.key("bytes_outside_chain").begin_array();
    for (const ByteChange& b : bytes)
        json.begin_object().key("offset").value(b.offset).key("length").value(b.length).key("what").value(b.what).end_object();
    json.end_array();
    json.key("files").begin_array();
    for (const WrittenFile& f : files)
        json.begin_object().key("name").path(f.name).key("size").value(static_cast<std::int64_t>(f.size)).end_object();
    json.end_array();
    json.end_object();
    console::document(json.text());
}
