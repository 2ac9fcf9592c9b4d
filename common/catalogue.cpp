// The catalogue of component kinds, one row per OptionCode.
#include "common/catalogue.hpp"

#include <strings.h>
#include <cstdio>

#include "common/hex.hpp"

namespace {

// Segment of a TypeId text "SSSS:0".
constexpr std::uint16_t seg(std::string_view id) {
    std::uint16_t v = 0;
    for (char c : id) {
        if (c == ':') break;
        const int d = hex_digit(c);
        v = static_cast<std::uint16_t>(v * 16 + d);
    }
    return v;
}

// The files of the lone switches.
constexpr DefaultFile kLogoDefault{"i:\\eprom\\D4LOGO.BMP", "", "i:\\eprom\\D4LOGO.BMP", true};
constexpr DefaultFile kVsaDefault{"i:\\eprom\\vsa66.bin", "", "i:\\eprom\\vsa66.bin", true};
constexpr DefaultFile kAcpiDefault{"ACPITBL.BIN", "", "ACPITBL.BIN", false, true};
constexpr DefaultFile kHpmDefault{"SMI.BIN", "", "SMI.BIN"};
constexpr DefaultFile kCpucodeDefault{"CPUCODE.EXE", "CPUCODE.BIN", ""};
constexpr DefaultFile kHpcDefault{"HPM.EXE", "HPM.BIN", ""};
constexpr DefaultFile kAcpitblDefault{"ACPITBL.EXE", "ACPITBL.BIN", "", false, false, true};
constexpr DefaultFile kEpaDefault{"KORVAEPA.EXE", "KORVAEPA.BIN", "", false, false, false, true};

// A row of the table, built from the fixed columns and then the ways the
// kind differs from a plain chain component.
struct Row {
    ComponentKind k;

    // A copy of the row with `change` made (defined before its callers, for
    // clang's constant evaluation).
    template <typename F>
    constexpr Row with(F change) const {
        Row r = *this;
        change(r.k);
        return r;
    }

    constexpr Row none() const {
        return with([](ComponentKind& r) { r.operation = Operation::None; });
    }
    constexpr Row operation(Operation o) const {
        return with([o](ComponentKind& r) { r.operation = o; });
    }
    constexpr Row placed(Placement p) const {
        return with([p](ComponentKind& r) { r.placement = p; });
    }
    constexpr Row prepared(FilePreparation p) const {
        return with([p](ComponentKind& r) { r.preparation = p; });
    }
    constexpr Row picture(Picture p) const {
        return with([p](ComponentKind& r) {
            r.picture = p;
            r.content = Content::Picture;
        });
    }
    constexpr Row holds(Content c) const {
        return with([c](ComponentKind& r) { r.content = c; });
    }
    constexpr Row type_from(TypeSource t) const {
        return with([t](ComponentKind& r) { r.type_source = t; });
    }
    constexpr Row lone(LoneUse l) const {
        return with([l](ComponentKind& r) { r.lone = l; });
    }
    constexpr Row becomes(OptionCode c) const {
        return with([c](ComponentKind& r) { r.becomes = c; });
    }
    constexpr Row noreserve() const {
        return with([](ComponentKind& r) { r.reads_noreserve = true; });
    }
    constexpr Row extracts_picture() const {
        return with([](ComponentKind& r) { r.extracts_picture = true; });
    }
    constexpr Row defaults(const DefaultFile& d) const {
        return with([&d](ComponentKind& r) { r.default_file = &d; });
    }
    constexpr Row rom(const SlotFamily& f) const {
        return with([&f](ComponentKind& r) {
            r.placement = Placement::RomSlots;
            r.family = &f;
            r.content = Content::OptionRom;
        });
    }
    constexpr Row without_operand(std::string_view id) const {
        return with([id](ComponentKind& r) { r.type_id_without_operand = id; });
    }
    constexpr operator ComponentKind() const { return k; }
};

constexpr Row row(OptionCode c, std::string_view sw, std::string_view sn, std::string_view id, std::string_view name) {
    ComponentKind k;
    k.option_code = c;
    k.switch_text = sw;
    k.short_name = sn;
    k.type_id = id;
    k.type_value = id.empty() ? std::uint16_t{0xFFFF} : seg(id);
    k.listing_name = name;
    if (id.empty() && c != code::other && c != code::group) k.type_source = TypeSource::None;
    return Row{k};
}

// Listing names are kept with their trailing blanks: the listing prints them as they are.
constexpr std::array<ComponentKind, code::last + 1> kTable = {{
    row(0, "", "", "", "").none(),
    row(1, "/vga", "VGA", "4080:0", "").rom(kVgaSlots),
    row(2, "/ncr", "", "4086:0", "").rom(kPciSlots).becomes(code::pci).lone(LoneUse::Always),
    row(3, "/aha", "", "4086:0", "").rom(kPciSlots).becomes(code::pci).lone(LoneUse::Always),
    row(4, "/other", "Other", "", "").type_from(TypeSource::Operand),
    row(5, "/logo", "Logo", "4000:0", "LOGO BitMap     ")
        .lone(LoneUse::Always)
        .noreserve()
        .extracts_picture()
        .defaults(kLogoDefault)
        .holds(Content::Picture),
    row(6, "", "", "", "").none(),
    row(7, "/d", "D", "", "").operation(Operation::List).lone(LoneUse::Always),
    row(8, "/cpucode", "CPUCODE", "4001:0", "CPU micro code  ")
        .lone(LoneUse::Always)
        .defaults(kCpucodeDefault)
        .holds(Content::Microcode),
    row(9, "/epa", "EPA", "4002:0", "EPA LOGO        ")
        .lone(LoneUse::Always)
        .picture(Picture::Epa)
        .extracts_picture()
        .defaults(kEpaDefault),
    row(10, "/acpi", "ACPI", "4003:0", "ACPI table      ")
        .lone(LoneUse::Always)
        .defaults(kAcpiDefault)
        .holds(Content::AcpiTables),
    row(11, "/acpitbl", "ACPI", "4003:0", "ACPI table      ")
        .lone(LoneUse::Always)
        .defaults(kAcpitblDefault)
        .holds(Content::AcpiTables),
    row(12, "/vsa", "VSA", "4004:0", "VSA driver      ").defaults(kVsaDefault),
    row(13, "/pci", "PCI", "4086:0", "").rom(kPciSlots),
    row(14, "/hpm", "HPM", "4005:0", "HPM ROM         ").lone(LoneUse::Always).defaults(kHpmDefault),
    row(15, "/hpc", "HPC", "4006:0", "HPC ROM         ").lone(LoneUse::Always).defaults(kHpcDefault),
    row(16, "/vrs", "VRS", "4007:0", "VRS ROM         "),
    row(17, "/isa", "ISA", "40A0:0", "").rom(kIsaSlots).without_operand("40A4:0"),
    row(18, "/fnt0", "FNT0", "4008:0", "FNT0 ROM        "),
    row(19, "/fnt1", "FNT1", "4009:0", "FNT1 ROM        "),
    row(20, "/fnt2", "FNT2", "400a:0", "FNT2 ROM        "),
    row(21, "/fnt3", "FNT3", "400b:0", "FNT3 ROM        "),
    row(22, "/fnt4", "FNT4", "400c:0", "FNT4 ROM        "),
    row(23, "/fnt5", "FNT5", "400d:0", "FNT5 ROM        "),
    row(24, "/ygroup", "YGROUP", "400e:0", "YGROUP ROM      "),
    row(25, "/mib", "MIB", "400f:0", "MIB ROM         ").prepared(FilePreparation::TextDocument),
    row(26, "/epa1", "EPA1", "4010:0", "EPA1 ROM        ").picture(Picture::Epa),
    row(27, "/logo1", "LOGO1", "4011:0", "LOGO1 ROM       ").noreserve().holds(Content::Picture),
    row(28, "/oem0", "OEM0", "4012:0", "OEM0 CODE       ").prepared(FilePreparation::WholeExecutables),
    row(29, "/oem1", "OEM1", "4013:0", "OEM1 CODE       ").prepared(FilePreparation::WholeExecutables),
    row(30, "/oem2", "OEM2", "4014:0", "OEM2 CODE       ").prepared(FilePreparation::WholeExecutables),
    row(31, "/oem3", "OEM3", "4015:0", "OEM3 CODE       ").prepared(FilePreparation::WholeExecutables),
    row(32, "/oem4", "OEM4", "4016:0", "OEM4 CODE       ").prepared(FilePreparation::WholeExecutables),
    row(33, "/oem5", "OEM5", "4017:0", "OEM5 CODE       ").prepared(FilePreparation::WholeExecutables),
    row(34, "/oem6", "OEM6", "4018:0", "OEM6 CODE       ").prepared(FilePreparation::WholeExecutables),
    row(35, "/oem7", "OEM7", "4019:0", "OEM7 CODE       ").prepared(FilePreparation::WholeExecutables),
    row(36, "/xgroup", "XGROUP", "407F:0", "XGROUP CODE     "),
    row(37, "/btvga", "", "", "").lone(LoneUse::LastFormOnly).placed(Placement::BootRoom),
    row(38, "/epa2", "EPA2", "401a:0", "EPA2 ROM        ").picture(Picture::Epa),
    row(39, "/epa3", "EPA3", "401b:0", "EPA3 ROM        ").picture(Picture::Epa),
    row(40, "/epa4", "EPA4", "401c:0", "EPA4 ROM        ").picture(Picture::Epa),
    row(41, "/epa5", "EPA5", "401d:0", "EPA5 ROM        ").picture(Picture::Epa),
    row(42, "/epa6", "EPA6", "401e:0", "EPA6 ROM        ").picture(Picture::Epa),
    row(43, "/epa7", "EPA7", "401f:0", "EPA7 ROM        ").picture(Picture::Epa),
    row(44, "/logo2", "Logo2", "4020:0", "LOGO2 ROM       ").picture(Picture::Epa).noreserve(),
    row(45, "/logo3", "Logo3", "4021:0", "LOGO3 ROM       ").picture(Picture::Epa).noreserve(),
    row(46, "/logo4", "Logo4", "4022:0", "LOGO4 ROM       ").picture(Picture::Epa).noreserve(),
    row(47, "/logo5", "Logo5", "4023:0", "LOGO5 ROM       ").picture(Picture::Epa).noreserve(),
    row(48, "/logo6", "Logo6", "4024:0", "LOGO6 ROM       ").picture(Picture::Epa).noreserve(),
    row(49, "/logo7", "Logo7", "4025:0", "LOGO7 ROM       ").noreserve().holds(Content::Picture),
    row(50, "/krvflash", "Flash ROM", "4026:0", "Flash ROM       ").prepared(FilePreparation::Raw),
    row(51, "/nnoprom", "NNOPROM", "4027:0", "NNOPROM         "),
    row(52, "/ros", "ROS", "4028:0", "ROS ROM         "),
    row(53, "/group", "GROUP", "4029:0", "").type_from(TypeSource::GroupNumber),
    row(54, "/NoCompress", "NoCompress", "4045:0", "NoCompress ROM  ").prepared(FilePreparation::Stored),
    row(55, "/OSB_LOGO", "OsbLogo", "4046:0", "OSB LOGO ROM    ").picture(Picture::Osb),
    row(56, "/OSB_BMP", "OsbBmp", "404E:0", "OSB BMP ROM     ").picture(Picture::OsbWithPosition).noreserve(),
    row(57, "/OSB_BMP1", "OsbBmp1", "404F:0", "OSB BMP1 ROM    ").picture(Picture::OsbWithPosition).noreserve(),
    row(58, "/OSB_BMP2", "OsbBmp2", "4050:0", "OSB BMP2 ROM    ").picture(Picture::OsbWithPosition).noreserve(),
    row(59, "/OSB_BMP3", "OsbBmp3", "4051:0", "OSB BMP3 ROM    ").picture(Picture::OsbWithPosition).noreserve(),
    row(60, "/OSB_BMP4", "OsbBmp4", "4052:0", "OSB BMP4 ROM    ").picture(Picture::OsbWithPosition).noreserve(),
    row(61, "/OSB_BMP5", "OsbBmp5", "4053:0", "OSB BMP5 ROM    ").picture(Picture::OsbWithPosition).noreserve(),
    row(62, "/OSB_BMP6", "OsbBmp6", "4054:0", "OSB BMP6 ROM    ").picture(Picture::OsbWithPosition).noreserve(),
    row(63, "/OSB_BMP7", "OsbBmp7", "4055:0", "OSB BMP7 ROM    ").picture(Picture::OsbWithPosition).noreserve(),
    row(64, "/OSB_LOGO1", "OsbLogo1", "4047:0", "OSB LOGO1 ROM   ").picture(Picture::Osb).noreserve(),
    row(65, "/OSB_LOGO2", "OsbLogo2", "4048:0", "OSB LOGO2 ROM   ").picture(Picture::Osb).noreserve(),
    row(66, "/OSB_LOGO3", "OsbLogo3", "4049:0", "OSB LOGO3 ROM   ").picture(Picture::Osb).noreserve(),
    row(67, "/OSB_LOGO4", "OsbLogo4", "404A:0", "OSB LOGO4 ROM   ").picture(Picture::Osb).noreserve(),
    row(68, "/OSB_LOGO5", "OsbLogo5", "404B:0", "OSB LOGO5 ROM   ").picture(Picture::Osb).noreserve(),
    row(69, "/OSB_LOGO6", "OsbLogo6", "404C:0", "OSB LOGO6 ROM   ").picture(Picture::Osb).noreserve(),
    row(70, "/OSB_LOGO7", "OsbLogo7", "404D:0", "OSB LOGO7 ROM   ").picture(Picture::Osb).noreserve(),
    row(71, "/NC_CPUCODE", "NC_CPUCODE", "4056:0", "NC-CPUCODE      ")
        .placed(Placement::TopBlock)
        .holds(Content::Microcode),
    row(72, "/JPEG", "Jpeg", "4057:0", "JPEG ROM        ").prepared(FilePreparation::JpegPrefix),
    row(73, "/JPEG1", "Jpeg1", "4058:0", "JPEG1 ROM        ").prepared(FilePreparation::JpegPrefix),
    row(74, "/JPEG2", "Jpeg2", "4059:0", "JPEG2 ROM        ").prepared(FilePreparation::JpegPrefix),
    row(75, "/JPEG3", "Jpeg3", "405A:0", "JPEG3 ROM        ").prepared(FilePreparation::JpegPrefix),
    row(76, "/RPB", "RPB", "405B:0", "RPB ROM         "),
    row(77, "/VER", "VER", "4101:0", "VERSION TABLE   "),
    row(78, "/JPEG_ENG", "JPEG_ENG", "405C:0", "JPEG ENGINE"),
    row(79, "/SROM0", "SROM0", "40b0:0", "SROM0           "),
    row(80, "/SROM1", "SROM1", "40b1:0", "SROM1           "),
    row(81, "/SROM2", "SROM2", "40b2:0", "SROM2           "),
    row(82, "/SROM3", "SROM3", "40b3:0", "SROM3           "),
    row(83, "/SROM4", "SROM4", "40b4:0", "SROM4           "),
    row(84, "/SETUP0", "SETUP0", "40b5:0", "SETUP0           "),
    row(85, "/SETUP1", "SETUP1", "40b6:0", "SETUP1           "),
    row(86, "/BIOSF0", "BIOSF0", "405D:0", "BIOSF0            ").prepared(FilePreparation::WholeExecutables),
    row(87, "/BIOSF1", "BIOSF1", "405E:0", "BIOSF1           ").prepared(FilePreparation::WholeExecutables),
    row(88, "/BIOSF2", "BIOSF2", "405F:0", "BIOSF2           ").prepared(FilePreparation::WholeExecutables),
    row(89, "/BIOSF3", "BIOSF3", "4060:0", "BIOSF3           ").prepared(FilePreparation::WholeExecutables),
    row(90, "/BIOSF4", "BIOSF4", "4061:0", "BIOSF4           ").prepared(FilePreparation::WholeExecutables),
    row(91, "/BIOSF5", "BIOSF5", "4062:0", "BIOSF5           ").prepared(FilePreparation::WholeExecutables),
    row(92, "/BIOSF6", "BIOSF6", "4063:0", "BIOSF6           ").prepared(FilePreparation::WholeExecutables),
    row(93, "/BIOSF7", "BIOSF7", "4064:0", "BIOSF7           ").prepared(FilePreparation::WholeExecutables),
    row(94, "/BIOSF8", "BIOSF8", "4065:0", "BIOSF8           ").prepared(FilePreparation::WholeExecutables),
    row(95, "/BIOSF9", "BIOSF9", "4066:0", "BIOSF9           ").prepared(FilePreparation::WholeExecutables),
    row(96, "/GV3", "GV3", "4067:0", "GV3              "),
    row(97, "/NVMM", "NVMM", "", "").placed(Placement::MemorySlot),
    row(98, "/CALS", "CALSVersion", "4068:0", "").operation(Operation::SizeReport),
    row(99, "/verify", "VERIFY", "", "").operation(Operation::Verify).lone(LoneUse::Always),
    row(100, "/json", "JSON", "", "").operation(Operation::Report).lone(LoneUse::Always),
}};

constexpr bool rows_in_order() {
    for (std::size_t i = 0; i < kTable.size(); ++i)
        if (kTable[i].option_code != i) return false;
    return true;
}
static_assert(rows_in_order(), "catalogue rows must stand at their OptionCode");

// The dispatch columns agree with each other. A pointer is tested against
// null only where it must be null and read where it must be set: GCC's null
// sanitizer makes the test or comparison of a set pointer no constant
// expression (a table that breaks a rule fails to build all the same).
constexpr bool rows_consistent() {
    for (const ComponentKind& k : kTable) {
        const bool rom = k.placement == Placement::RomSlots;
        if (rom ? k.family->count == 0 : k.family != nullptr) return false;
        if (k.becomes != 0 && (!rom || kTable[k.becomes].placement != Placement::RomSlots ||
                               kTable[k.becomes].family->base != k.family->base))
            return false;
        if (k.operation != Operation::Add && k.default_file != nullptr) return false;
        if (!k.type_id_without_operand.empty() && !rom) return false;
        if (k.type_source == TypeSource::Fixed && k.type_id.empty() && k.operation != Operation::None) return false;
    }
    return true;
}
static_assert(rows_consistent(), "a row's placement, family, defaults and TypeId must agree");
static_assert(kTable[code::pci].family->base == kPciSlots.base && kTable[code::isa].family->base == kIsaSlots.base);

std::string format(const char* pattern, int value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

}  // namespace

const ComponentKind& kind(OptionCode c) {
    return c <= code::last ? kTable[c] : kTable[0];
}

OptionCode lookup_option(std::string_view text) {
    for (const ComponentKind& k : kTable) {
        if (k.switch_text.empty() || k.switch_text.size() != text.size()) continue;
        if (strncasecmp(k.switch_text.data(), text.data(), text.size()) == 0) return k.option_code;
    }
    return 0;
}

std::string_view short_name(OptionCode c) {
    return kind(c).short_name;
}

std::string_view failure_name(OptionCode c) {
    return kind(c).short_name.empty() ? kind(c).switch_text : kind(c).short_name;
}

OptionCode kind_of_type(std::uint16_t segment, std::uint16_t offset) {
    for (const ComponentKind* k : {&kTable[code::vga], &kTable[code::pci], &kTable[code::isa]})
        if (segment >= k->family->base && segment < k->family->base + k->family->count) return k->option_code;
    if (segment >= kGroupSlots.base && segment <= kGroupSlots.base + kMaxGroupNumber && offset == 0) return code::group;
    // Every fixed TypeId of the table has offset 0.
    for (const ComponentKind& k : kTable)
        if (k.type_source == TypeSource::Fixed && k.becomes == 0 && k.operation == Operation::Add &&
            k.type_value == segment && offset == 0)
            return k.option_code;
    return 0;
}

std::string switch_of_type(std::uint16_t segment, std::uint16_t offset) {
    const OptionCode c = kind_of_type(segment, offset);
    if (c == code::group) return "/group" + std::to_string(segment - kGroupSlots.base);
    return std::string(kind(c).switch_text);
}

std::string group_type_id(int group_number) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X:0", 0x4029 + group_number);
    return buf;
}

std::optional<SlotFamily> slot_family(OptionCode c) {
    const SlotFamily* family = kind(c).family;
    if (!family) return std::nullopt;
    return *family;
}

char slot_char(const SlotFamily& family, int index) {
    if (family.digits_from >= 0 && index >= family.digits_from)
        return static_cast<char>('1' + index - family.digits_from);
    return static_cast<char>('A' + index);
}

char slot_char(OptionCode c, int index) {
    std::optional<SlotFamily> family = slot_family(c);
    return family ? slot_char(*family, index) : '?';
}

std::string listing_name(std::uint16_t s, std::uint16_t o) {
    // Kinds with a fixed name: the first row of segment s that has one.
    for (const ComponentKind& k : kTable)
        if (k.type_value == s && !k.listing_name.empty()) return std::string(k.listing_name);
    if (s >= kGroupSlots.base && s < kGroupSlots.base + kGroupSlots.listed)
        return format("GROUP ROM[%2d]   ", s - kGroupSlots.base);
    for (const SlotFamily& family : {kVgaSlots, kPciSlots, kIsaSlots}) {
        if (s < family.base || s >= family.base + family.listed) continue;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s ROM[%c]      ", family.label, slot_char(family, s - family.base));
        return buf;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "Other(%04X:%04X)", s, o);
    return buf;
}

std::string without_padding(std::string_view name) {
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return std::string(name);
}
