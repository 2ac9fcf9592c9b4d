// What a chain line of the manifest may leave out, derived from the kind
// its switch names in the catalogue: the TypeId (a slotted kind's first
// free slot) and the method; and the check that a given
// TypeId is one of the switch's kind.
#include <strings.h>
#include <cstdio>
#include <set>

#include "archive/member_header.hpp"
#include "common/catalogue.hpp"
#include "folder/manifest.hpp"

namespace {

std::string type_text(std::uint16_t segment, std::uint16_t offset) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X:%04X", segment, offset);
    return buf;
}

// "/groupN" (N 0 to 26): the group's number; the catalogue has one row for all.
std::optional<int> group_number(const std::string& sw) {
    if (sw.size() < 7 || sw.size() > 8 || strncasecmp(sw.c_str(), "/group", 6) != 0) return std::nullopt;
    int n = 0;
    for (std::size_t i = 6; i < sw.size(); ++i) {
        if (sw[i] < '0' || sw[i] > '9') return std::nullopt;
        n = n * 10 + (sw[i] - '0');
    }
    if (n > kMaxGroupNumber) return std::nullopt;
    return n;
}

// The catalogue row of the switch, the one it becomes where it names another.
const ComponentKind* kind_of_switch(const std::string& sw) {
    const OptionCode code = lookup_option(sw);
    if (code == 0) return nullptr;
    const ComponentKind& k = kind(code);
    return k.becomes != 0 ? &kind(k.becomes) : &k;
}

bool in_family(const SlotFamily& family, std::uint16_t segment) {
    return segment >= family.base && segment < family.base + family.count;
}

// Whether the TypeId `type` is one the switch `sw` adds.
bool agrees(const std::string& sw, const std::string& type) {
    const TypeIdValue v = parse_type_id(type);
    // "/group05" and "/group5" are one group: its number decides.
    if (const std::optional<int> group = group_number(sw)) return v.segment == kGroupSlots.base + *group;
    const std::string named = switch_of_type(v.segment, v.offset);
    if (named.size() == sw.size() && strncasecmp(named.c_str(), sw.c_str(), sw.size()) == 0) return true;
    const ComponentKind* k = kind_of_switch(sw);
    if (!k) return false;
    if (k->family) return in_family(*k->family, v.segment);
    return !k->type_id.empty() && k->type_value == v.segment;
}

// The TypeId the switch gives a new line: the kind's own, or the first slot
// of its family not in `taken` (segments), from where an add starts; or
// the fault.
struct Derived {
    std::string type, fault;
};
Derived derived_type(const ManifestLine& l, const std::set<std::uint16_t>& taken) {
    if (const std::optional<int> group = group_number(l.switch_text))
        return {.type = type_text(static_cast<std::uint16_t>(kGroupSlots.base + *group), 0), .fault = {}};
    const ComponentKind* k = kind_of_switch(l.switch_text);
    if (k && k->family) {
        // From the slot an add without an operand takes (ISA: "1"), round the family.
        const SlotFamily& family = *k->family;
        const int first =
            k->type_id_without_operand.empty() ? 0 : parse_type_id(k->type_id_without_operand).segment - family.base;
        for (int i = 0; i < family.count; ++i) {
            const auto segment = static_cast<std::uint16_t>(family.base + (first + i) % family.count);
            if (!taken.contains(segment)) return {.type = type_text(segment, 0), .fault = {}};
        }
        return {.type = {}, .fault = line_fault(l, "every " + std::string(family.label) + " slot is taken; free one")};
    }
    if (k && !k->type_id.empty()) {
        const TypeIdValue v = parse_type_id(k->type_id);
        return {.type = type_text(v.segment, v.offset), .fault = {}};
    }
    return {.type = {}, .fault = line_fault(l, "no TypeId comes with the switch " + l.switch_text + "; give TYPE_ID")};
}

std::optional<std::string> derive_line(ManifestLine& l, std::set<std::uint16_t>& taken) {
    const bool has_switch = l.switch_text != "-";
    if (l.type_id == "-") {
        if (!has_switch) return line_fault(l, "a chain line names its SWITCH or its TYPE_ID");
        Derived type = derived_type(l, taken);
        if (!type.fault.empty()) return type.fault;
        l.type_id = std::move(type.type);
        taken.insert(parse_type_id(l.type_id).segment);
    } else if (has_switch && !agrees(l.switch_text, l.type_id)) {
        return line_fault(l, "TypeId " + l.type_id + " is not one the switch " + l.switch_text +
                                 " adds; give its kind's TypeId, or \"-\"");
    }
    if (l.method == "-") {
        const ComponentKind* k = has_switch ? kind_of_switch(l.switch_text) : nullptr;
        l.method = k && k->preparation == FilePreparation::Stored ? "-lh0-" : "-lh5-";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> derive_lines(Manifest& m) {
    // The slots the given TypeIds take, before any is derived.
    std::set<std::uint16_t> taken;
    for (const ManifestLine& l : m.lines)
        if (l.place == Place::Chain && l.type_id != "-") taken.insert(parse_type_id(l.type_id).segment);
    for (ManifestLine& l : m.lines) {
        if (l.place != Place::Chain) continue;
        if (std::optional<std::string> fault = derive_line(l, taken)) return fault;
    }
    return std::nullopt;
}
