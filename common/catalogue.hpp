// The catalogue of component kinds, the vocabulary every layer reads: for
// each option switch its short name, TypeId and listing name, and what the
// operations do with it (where its component goes, how a file of it is
// prepared, whether it is an option ROM, whether it may stand alone and has
// a default file). The operations read a kind's row; no OptionCode ranges
// stand in them. Also the rule that names a member in the listing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// 1 to 100, one per option switch; 0 is "no switch". Code 6 is unassigned.
using OptionCode = std::uint8_t;

namespace code {
inline constexpr OptionCode vga = 1, ncr = 2, aha = 3, other = 4, logo = 5, d = 7, cpucode = 8, epa = 9, acpi = 10,
                            acpitbl = 11, vsa = 12, pci = 13, hpm = 14, hpc = 15, vrs = 16, isa = 17, fnt0 = 18,
                            ygroup = 24, mib = 25, epa1 = 26, logo1 = 27, oem0 = 28, xgroup = 36, btvga = 37, epa2 = 38,
                            epa7 = 43, logo2 = 44, logo7 = 49, krvflash = 50, nnoprom = 51, ros = 52, group = 53,
                            nocompress = 54, osb_logo = 55, osb_bmp = 56, osb_bmp7 = 63, osb_logo1 = 64, osb_logo7 = 70,
                            nc_cpucode = 71, jpeg = 72, jpeg1 = 73, jpeg3 = 75, rpb = 76, ver = 77, jpeg_eng = 78,
                            srom0 = 79, setup0 = 84, biosf0 = 86, gv3 = 96, nvmm = 97, cals = 98, verify = 99,
                            json = 100;
inline constexpr OptionCode last = 100;
}  // namespace code

// The slots of a multi-instance kind: one TypeId segment per copy, named in
// the listing, the instance list and the messages by a slot character:
// digits from slot `digits_from` on ("1" for it), letters before ("A").
//   VGA   0x4080-0x4085  "1" to "6"
//   PCI   0x4086-0x409F  "A" to "Z"
//   ISA   0x40A0-0x40A3  "A" to "D",  0x40A4-0x40A7  "1" to "4"
//   GROUP 0x4029-0x4044  " 0" to "27" (the listing's decimal number)
// The listing names the ISA slots up to 0x40A6 only; 0x40A7 shows as "Other".
struct SlotFamily {
    const char* label;     // "VGA", "PCI", "ISA", "GROUP"
    std::uint16_t base;    // segment of slot 0
    std::uint16_t count;   // number of slots
    std::uint16_t listed;  // slots the listing names by their slot
    int digits_from;       // the first slot named by a digit; -1: none is
    // Option ROM families: a new ROM that needs a slot past the family is
    // refused with this warning (empty: no limit of its own).
    std::string_view full_warning = {};
    // ISA ROMs: the same ROM is the same bytes (else the same PCI identity),
    // is refused rather than replaced, and a ROM's 8-bit sum must be 0; a
    // ROM may carry its address in its TypeId.
    bool isa_rules = false;
    // The PCI base class a ROM of the family carries in its PCI data
    // structure, when it carries one; -1: any.
    int pci_class = -1;
};
inline constexpr SlotFamily kVgaSlots{"VGA", 0x4080, 6, 6, 0, "WARNING : VGA ROM Max 6 slots.", false, 0x03};
inline constexpr SlotFamily kPciSlots{"PCI", 0x4086, 26, 26, -1, "WARNING : PCI ROM Max 26 slots."};
inline constexpr SlotFamily kIsaSlots{"ISA", 0x40A0, 8, 7, 4, "WARNING : ISA ROM Max 8 slots.", true};
inline constexpr SlotFamily kGroupSlots{"GROUP", 0x4029, 28, 28, -1};
inline constexpr int kMaxGroupNumber = 26;  // "/group0" to "/group26"

// The option ROM segments: the add's slot rule keeps one flag per segment
// from 0x4080 on, for 50 segments (0x4080-0x40B1).
inline constexpr std::uint16_t kRomSegmentBase = 0x4080;
inline constexpr std::size_t kRomSlotFlags = 50;

// What a group of the kind does.
enum class Operation : std::uint8_t { None, Add, List, Verify, SizeReport, Report };

// Where an added component goes.
enum class Placement : std::uint8_t {
    Chain,       // a member of the compressed area's chain, replacing one of its kind
    RomSlots,    // a member of the chain, in the next free slot of its family
    TopBlock,    // uncompressed at the top of the area (a lone switch: the chain)
    BootRoom,    // the boot block's VGA room or slot
    MemorySlot,  // the memory-module slot
};

// How a RomFile that is no member already is made a member.
enum class FilePreparation : std::uint8_t {
    Standard,          // a bitmap converted, an executable's body stored, anything else packed
    WholeExecutables,  // the same, but an executable packed whole
    Stored,            // packed stored, whatever it holds (also a member); placed on 16 bytes
    Raw,               // packed as it is, whatever it holds
    TextDocument,      // converted to a "-MIB-" document
    JpegPrefix,        // the same as Standard, with 16 zero bytes in front where it is packed as it is
};

// Which conversion a bitmap of the kind gets.
enum class Picture : std::uint8_t { Logo, Epa, Osb, OsbWithPosition };

// What a member of the kind holds, as /verify checks it (beyond the
// executable's body that every kind whose preparation strips executables
// holds in place of the whole file).
enum class Content : std::uint8_t {
    Any,         // not checked
    Picture,     // a LogoImage
    OptionRom,   // 55 AA, a length byte, an 8-bit sum of 0, the family's PCI class
    AcpiTables,  // ACPI tables: signature, length and checksum
    Microcode,   // CPU microcode records whose checksums hold
};

// Where the group's TypeId comes from.
enum class TypeSource : std::uint8_t { Fixed, Operand, GroupNumber, None };

// Whether the switch may be the only option of a command line.
enum class LoneUse : std::uint8_t { Never, Always, LastFormOnly };

// The file a lone switch of the kind adds.
struct DefaultFile {
    std::string_view source;       // the default file, or the executable whose body is taken
    std::string_view body;         // where that body goes; empty: the source is used itself
    std::string_view not_found;    // what the "Not found" line names; empty: no such line
    bool as_it_stands = false;     // the source is a member already
    bool packer_names_it = false;  // a missing source is said by "Can't open %s" first
    bool joins_dsdt = false;       // the body gets "DSDT.AML" behind it
    bool converts_bitmap = false;  // a body that is a bitmap is converted
};

struct ComponentKind {
    OptionCode option_code = 0;
    std::string_view switch_text;       // "/vga"; empty for the unassigned code 6
    std::string_view short_name;        // for messages such as "!!! Combine %s have some error."
    std::string_view type_id;           // "4080:0"; empty for kinds without a TypeId
    std::uint16_t type_value = 0xFFFF;  // the TypeId's segment; 0xFFFF when none
    std::string_view listing_name;      // the fixed listing name; empty when made from the slot
    Operation operation = Operation::Add;
    Placement placement = Placement::Chain;
    FilePreparation preparation = FilePreparation::Standard;
    Picture picture = Picture::Logo;
    TypeSource type_source = TypeSource::Fixed;
    LoneUse lone = LoneUse::Never;
    OptionCode becomes = 0;                     // the kind the switch selects, when another (/ncr)
    const SlotFamily* family = nullptr;         // option ROM kinds: their slots
    std::string_view type_id_without_operand;   // /isa without an address operand: "40A4:0"
    const DefaultFile* default_file = nullptr;  // a lone switch's file
    bool reads_noreserve = false;               // as the first option of the `_last` form, "noreserve" is looked for
    bool extracts_picture = false;              // an extract writes the picture back as a bitmap
    Content content = Content::Any;             // what /verify expects a member of it to hold
};

// Row `c` of the catalogue (index 0 is an empty row).
const ComponentKind& kind(OptionCode c);

// A report of the image (the listing, /verify, /json): it takes no file,
// and as the first option it stands alone (but for "/err"). The command
// line, the run and the completions all go by this.
constexpr bool is_image_report(const ComponentKind& k) {
    return k.operation == Operation::List || k.operation == Operation::Verify || k.operation == Operation::Report;
}

// The code of a switch text, compared without regard to case; 0 when none.
OptionCode lookup_option(std::string_view text);

// The short name of a kind for messages.
std::string_view short_name(OptionCode c);

// The kind as "!!! Combine %s have some error." names it: its short name,
// or its switch when the short name is empty ("/btvga").
std::string_view failure_name(OptionCode c);

// The slot family of an option ROM kind; nothing for the single-instance kinds.
std::optional<SlotFamily> slot_family(OptionCode c);

// The character that names slot `index` of `family` (not GROUP).
char slot_char(const SlotFamily& family, int index);
// The same for the family of option `c`.
char slot_char(OptionCode c, int index);

// The Item-Name text of a member in the listing.
std::string listing_name(std::uint16_t type_segment, std::uint16_t type_offset);

// A listing name (padded with blanks to its column) without the padding.
std::string without_padding(std::string_view name);

// The kind of a member of TypeId segment:offset: the first slot's kind for
// any slot of a ROM family, /group for a group; 0 when no switch adds it.
OptionCode kind_of_type(std::uint16_t segment, std::uint16_t offset);

// The switch that adds a member of TypeId segment:offset ("/vga" for any
// VGA slot, "/group5" for 402E:0); empty when no switch names it.
std::string switch_of_type(std::uint16_t segment, std::uint16_t offset);

// The TypeId text of group `group_number` (0 to 26): "4029:0" upwards.
std::string group_type_id(int group_number);
