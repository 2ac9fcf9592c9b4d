// One comparison of two images: their components paired by one rule, and
// the bytes outside the chain that differ.
#include "image/changes.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/catalogue.hpp"
#include "common/sha256.hpp"
#include "image/chain.hpp"
#include "image/image_writer.hpp"

namespace {

std::string type_id_of(const Component& c) {
    if (!c.head) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%04X:%04X", type_segment(*c.head), type_offset(*c.head));
    return text;
}

// The same member: its content, sizes, name and TypeId (the same bytes
// under another kind are a removal and an add, not a move).
bool same_content(const ComparedPart& a, const ComparedPart& b) {
    return !a.sha256.empty() && a.sha256 == b.sha256 && a.original == b.original && a.packed == b.packed &&
           a.component.name == b.component.name && a.type_id == b.type_id;
}

bool same_type(const ComparedPart& a, const ComparedPart& b) {
    return a.type_id == b.type_id;
}

bool same_name(const ComparedPart& a, const ComparedPart& b) {
    return same_type(a, b) && a.component.name == b.component.name;
}

// Members of one switch's kind: any slot of a ROM family.
bool same_kind(const ComparedPart& a, const ComparedPart& b) {
    if (!a.component.head || !b.component.head) return false;
    const MemberHead& ha = *a.component.head;
    const MemberHead& hb = *b.component.head;
    const std::string kind = switch_of_type(type_segment(ha), type_offset(ha));
    return !kind.empty() && kind == switch_of_type(type_segment(hb), type_offset(hb));
}

// The pairing: each rule in turn, in the order of `before`, over what the
// rules before it left unpaired.
std::vector<const ComparedPart*> pair_up(const std::vector<ComparedPart>& before,
                                         const std::vector<ComparedPart>& after, std::vector<bool>& taken) {
    std::vector<const ComparedPart*> match(before.size(), nullptr);
    using Rule = bool (*)(const ComparedPart&, const ComparedPart&);
    for (Rule rule : {Rule{same_content}, Rule{same_name}, Rule{same_type}, Rule{same_kind}})
        for (std::size_t i = 0; i < before.size(); ++i)
            for (std::size_t j = 0; j < after.size() && !match[i]; ++j)
                if (!taken[j] && before[i].component.place == after[j].component.place && rule(before[i], after[j])) {
                    match[i] = &after[j];
                    taken[j] = true;
                }
    return match;
}

}  // namespace

std::vector<ComparedPart> compared_parts(const BiosImage& image, const std::vector<Component>& components) {
    std::vector<ComparedPart> parts;
    for (const Component& c : components) {
        ComparedPart p{c, type_id_of(c), c.extent, c.extent, {}};
        if (c.head) {
            p.original = original_size(*c.head);
            p.packed = packed_size(*c.head);
        }
        const Expansion e = expand_component(image, c);
        if (e.status == Expansion::Status::Complete && e.data.size() == p.original) p.sha256 = sha256_hex(e.data);
        parts.push_back(std::move(p));
    }
    return parts;
}

std::vector<ComponentChange> component_changes(const std::vector<ComparedPart>& before,
                                               const std::vector<ComparedPart>& after) {
    std::vector<bool> taken(after.size());
    const std::vector<const ComparedPart*> match = pair_up(before, after, taken);
    std::vector<ComponentChange> out;
    for (const ComparedPart& a : after) {
        const auto paired = std::ranges::find(match, &a);
        if (paired == match.end()) {
            out.push_back({"added", nullptr, &a});
            continue;
        }
        const ComparedPart& b = before[static_cast<std::size_t>(paired - match.begin())];
        if (!same_content(b, a))
            out.push_back({"replaced", &b, &a});
        else if (a.component.position != b.component.position)
            out.push_back({"moved", &b, &a});
    }
    for (std::size_t i = 0; i < before.size(); ++i)
        if (!match[i]) out.push_back({"removed", &before[i], nullptr});
    return out;
}

namespace {

// A region's range under its report name.
struct NamedRange {
    const char* what;
    ByteRange range;
};

// The places bytes outside the chain belong to, looked up in order: the
// writer's regions (the fix-ups' bytes, the top block, the chain's own
// space, named as the chain is, and the boot-block slots).
std::vector<NamedRange> places(const BiosImage& before, const BiosImage& after) {
    std::vector<NamedRange> named;
    const auto add = [&named](const BiosImage& image, Region region) {
        if (const std::optional<ByteRange> r = region_range(image, region); r && r->end > r->begin)
            named.push_back({region_name(image, region), *r});
    };
    for (Region r : {Region::Bs1Pointer, Region::CheckBytes, Region::BankCheckByte, Region::SumBytes, Region::TopBlock})
        add(after, r);
    named.push_back({region_name(before, Region::Chain), {before.chain_start, chain_space_end(before)}});
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
        const auto place =
            std::ranges::find_if(named, [at](const NamedRange& r) { return at >= r.range.begin && at < r.range.end; });
        const std::string what = place == named.end() ? "other" : place->what;
        if (what == region_name(before, Region::Chain)) {
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
