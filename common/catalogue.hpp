// The catalogue of component kinds: option switches, short names, TypeIds
// and listing names, and the rule that names a member in the listing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// 1 to 99, one per option switch; 0 is "no switch". Code 6 is unassigned.
using OptionCode = std::uint8_t;

namespace code {
inline constexpr OptionCode vga = 1, ncr = 2, aha = 3, other = 4, logo = 5, d = 7, cpucode = 8,
    epa = 9, acpi = 10, acpitbl = 11, vsa = 12, pci = 13, hpm = 14, hpc = 15, vrs = 16, isa = 17,
    fnt0 = 18, ygroup = 24, mib = 25, epa1 = 26, logo1 = 27, oem0 = 28, xgroup = 36, btvga = 37,
    epa2 = 38, epa7 = 43, logo2 = 44, logo7 = 49, krvflash = 50, nnoprom = 51, ros = 52,
    group = 53, nocompress = 54, osb_logo = 55, osb_bmp = 56, osb_bmp7 = 63, osb_logo1 = 64,
    osb_logo7 = 70, nc_cpucode = 71, jpeg = 72, jpeg1 = 73, jpeg3 = 75, rpb = 76, ver = 77,
    jpeg_eng = 78, srom0 = 79, setup0 = 84, biosf0 = 86, gv3 = 96, nvmm = 97, cals = 98, verify = 99;
inline constexpr OptionCode last = 99;
}  // namespace code

struct ComponentKind {
    OptionCode option_code;
    std::string_view switch_text;   // "/vga"; empty for the unassigned code 6
    std::string_view short_name;    // for messages such as "!!! Combine %s have some error."
    std::string_view type_id;       // "4080:0"; empty for kinds without a TypeId
    std::uint16_t type_value;       // the TypeId's segment; 0xFFFF when none
    std::string_view listing_name;  // the fixed listing name; empty when made from the slot
};

// The slots of a multi-instance kind: one TypeId segment per copy, named in
// the listing, the instance list and the messages by a slot character.
//   VGA   0x4080-0x4085  "1" to "6"
//   PCI   0x4086-0x409F  "A" to "Z"
//   ISA   0x40A0-0x40A3  "A" to "D",  0x40A4-0x40A7  "1" to "4"
//   GROUP 0x4029-0x4044  " 0" to "27" (the listing's decimal number)
// The listing names the ISA slots up to 0x40A6 only; 0x40A7 shows as "Other".
struct SlotFamily {
    const char* label;    // "VGA", "PCI", "ISA", "GROUP"
    std::uint16_t base;   // segment of slot 0
    std::uint16_t count;  // number of slots
    std::uint16_t listed; // slots the listing names by their slot
};
inline constexpr SlotFamily kVgaSlots{"VGA", 0x4080, 6, 6};
inline constexpr SlotFamily kPciSlots{"PCI", 0x4086, 26, 26};
inline constexpr SlotFamily kIsaSlots{"ISA", 0x40A0, 8, 7};
inline constexpr SlotFamily kGroupSlots{"GROUP", 0x4029, 28, 28};

// The option ROM segments: the add's slot rule keeps one flag per segment
// from 0x4080 on, for 50 segments (0x4080-0x40B1).
inline constexpr std::uint16_t kRomSegmentBase = 0x4080;
inline constexpr std::size_t kRomSlotFlags = 50;

// The slot family of an option ROM kind (after /ncr and /aha became /pci);
// nothing for the single-instance kinds.
std::optional<SlotFamily> slot_family(OptionCode c);

// The character that names slot `index` of `family` (not GROUP).
char slot_char(const SlotFamily& family, int index);
// The same for the family of option `c`.
char slot_char(OptionCode c, int index);

// Row `c` of the catalogue (index 0 is an empty row).
const ComponentKind& kind(OptionCode c);

// The code of a switch text, compared without regard to case; 0 when none.
OptionCode lookup_option(std::string_view text);

// The short name of a kind for messages.
std::string_view short_name(OptionCode c);

// The kind as "!!! Combine %s have some error." names it: its short name,
// or its switch when the short name is empty ("/btvga").
std::string_view failure_name(OptionCode c);

// The Item-Name text of a member in the listing.
std::string listing_name(std::uint16_t type_segment, std::uint16_t type_offset);

// The TypeId text of group `group_number` (0 to 26): "4029:0" upwards.
std::string group_type_id(int group_number);
