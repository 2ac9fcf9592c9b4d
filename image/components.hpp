// The components of an image, named once: the five places one can stand in
// (the system BIOS, the chain's members, the uncompressed microcode block at
// the top of the area, the boot block's "*BT-VGA*" slot and its "*NVDAMM*"
// memory-module slot), their words in the manifest, the reports and file
// names, the writer's region of each, and the one way to read a
// component's content. /unpack, /pack, /diff, the dry run and the JSON
// report all go through these; no other file spells a place.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "common/voice.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"

enum class Place : std::uint8_t { SystemBios, Chain, TopBlock, BootVga, MemorySlot };
inline constexpr std::size_t kPlaces = 5;

// What a place is called where: `word` in the manifest and /diff, `report`
// in the JSON report's members and /verify, `file` in content file names
// (for the chain, the kind's switch is used instead), `region` the writer's.
struct PlaceRow {
    Place place;
    const char* word;
    const char* report;
    const char* file;
    Region region;
    bool member;  // holds an LZH member (else raw bytes)
};
const PlaceRow& place_row(Place place);
const char* place_word(Place place);
// The place a manifest word names; nothing for any other word.
std::optional<Place> place_of_word(std::string_view word);
// The words, for a message: "bios, chain, top, boot_vga or memory".
std::string place_words();

// One component as it stands in the image: its place, the bytes it takes
// (a member's header and packed data; a block's bytes), the member's header
// for the places that hold one, and its name (the stored name, the trailer's
// name for the top block, "NVMM" for the memory-module slot).
struct Component {
    Place place = Place::Chain;
    std::uint32_t position = 0, extent = 0;
    std::optional<MemberHead> head;
    std::string name;
};

// The component of the member whose header `head` stands at `position`.
Component member_component(Place place, std::uint32_t position, const MemberHead& head);

// A component's content: a member expanded (whole, or as far as it goes,
// with the expansion's verdict; never past member::kMaxMemberSize), a
// block's bytes as they stand (Complete, no CRC).
Expansion expand_component(const BiosImage& image, const Component& c, Voice voice = {});
// The same, streamed into `sink`: nothing held whole.
Expansion expand_component_to_sink(const BiosImage& image, const Component& c, ExpansionSink sink, Voice voice = {});

// The bytes a component takes in the image.
std::span<const std::uint8_t> component_bytes(const BiosImage& image, const Component& c);
