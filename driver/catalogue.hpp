// The catalogue of component kinds: option switches, short names, TypeIds
// and listing names, and the rule that names a member in the listing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// 1 to 98, one per option switch; 0 is "no switch". Code 6 is unassigned.
using OptionCode = std::uint8_t;

namespace code {
inline constexpr OptionCode vga = 1, ncr = 2, aha = 3, other = 4, logo = 5, d = 7, cpucode = 8,
    epa = 9, acpi = 10, acpitbl = 11, vsa = 12, pci = 13, hpm = 14, hpc = 15, vrs = 16, isa = 17,
    fnt0 = 18, ygroup = 24, mib = 25, epa1 = 26, logo1 = 27, oem0 = 28, xgroup = 36, btvga = 37,
    epa2 = 38, epa7 = 43, logo2 = 44, logo7 = 49, krvflash = 50, nnoprom = 51, ros = 52,
    group = 53, nocompress = 54, osb_logo = 55, osb_bmp = 56, osb_bmp7 = 63, osb_logo1 = 64,
    osb_logo7 = 70, nc_cpucode = 71, jpeg = 72, jpeg1 = 73, jpeg3 = 75, rpb = 76, ver = 77,
    jpeg_eng = 78, srom0 = 79, setup0 = 84, biosf0 = 86, gv3 = 96, nvmm = 97, cals = 98;
inline constexpr OptionCode last = 98;
}  // namespace code

struct ComponentKind {
    OptionCode option_code;
    std::string_view switch_text;   // "/vga"; empty for the unassigned code 6
    std::string_view short_name;    // for messages such as "!!! Combine %s have some error."
    std::string_view type_id;       // "4080:0"; empty for kinds without a TypeId
    std::uint16_t type_value;       // the TypeId's segment; 0xFFFF when none
    std::string_view listing_name;  // the fixed listing name; empty when made from the slot
};

// Row `c` of the catalogue (index 0 is an empty row).
const ComponentKind& kind(OptionCode c);

// The code of a switch text, compared without regard to case; 0 when none.
OptionCode lookup_option(std::string_view text);

// The short name of a kind for messages.
std::string_view short_name(OptionCode c);

// The Item-Name text of a member in the listing.
std::string listing_name(std::uint16_t type_segment, std::uint16_t type_offset);

// The TypeId text of group `group_number` (0 to 26): "4029:0" upwards.
std::string group_type_id(int group_number);
