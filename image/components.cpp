// The places of an image and how a component's content is read.
#include "image/components.hpp"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<PlaceRow, kPlaces> kPlaceRows{{
    {Place::SystemBios, "bios", "system_bios", "system_bios", Region::SystemBios, true},
    {Place::Chain, "chain", "chain", "chain", Region::Chain, true},
    {Place::TopBlock, "top", "top_block", "top_block", Region::TopBlock, false},
    {Place::BootVga, "boot_vga", "boot_block", "boot_vga", Region::BootVgaSlot, true},
    {Place::MemorySlot, "memory", "memory_module", "memory_module", Region::MemorySlot, false},
}};

// The original size a member is expanded to: what its header says, never
// more than a member may hold.
std::size_t expansion_limit(const Component& c) {
    return std::min<std::size_t>(original_size(*c.head), member::kMaxMemberSize);
}

}  // namespace

const PlaceRow& place_row(Place place) {
    return kPlaceRows[static_cast<std::size_t>(place)];
}

const char* place_word(Place place) {
    return place_row(place).word;
}

std::optional<Place> place_of_word(std::string_view word) {
    for (const PlaceRow& row : kPlaceRows)
        if (word == row.word) return row.place;
    return std::nullopt;
}

Component member_component(Place place, std::uint32_t position, const MemberHead& head) {
    return {place, position, static_cast<std::uint32_t>(member_span(head)), head, std::string(listed_name(head))};
}

std::string place_words() {
    std::string text;
    for (std::size_t i = 0; i < kPlaceRows.size(); ++i)
        text.append(i == 0 ? "" : i + 1 == kPlaceRows.size() ? " or " : ", ").append(kPlaceRows[i].word);
    return text;
}

std::span<const std::uint8_t> component_bytes(const BiosImage& image, const Component& c) {
    const std::span<const std::uint8_t> all(image.bytes);
    if (c.position >= all.size()) return {};
    return all.subspan(c.position, std::min<std::size_t>(c.extent, all.size() - c.position));
}

Expansion expand_component(const BiosImage& image, const Component& c, Voice voice) {
    if (!c.head) {
        const std::span<const std::uint8_t> bytes = component_bytes(image, c);
        Expansion e;
        e.status = Expansion::Status::Complete;
        e.data.assign(bytes.begin(), bytes.end());
        return e;
    }
    return expand_member(std::span(image.bytes).subspan(c.position), expansion_limit(c), voice);
}

Expansion expand_component_to_sink(const BiosImage& image, const Component& c, ExpansionSink sink, Voice voice) {
    if (!c.head) {
        Expansion e;
        e.status = sink.write(sink.context, component_bytes(image, c)) ? Expansion::Status::Complete
                                                                       : Expansion::Status::Damaged;
        if (e.status == Expansion::Status::Damaged) e.damage = "Unable to write";
        return e;
    }
    return expand_member_to_sink(std::span(image.bytes).subspan(c.position), sink, expansion_limit(c), voice);
}
