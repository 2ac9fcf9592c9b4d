// The catalogue of component kinds, one row per OptionCode.
#include "driver/catalogue.hpp"

#include <cstdio>
#include <strings.h>

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

constexpr ComponentKind row(OptionCode c, std::string_view sw, std::string_view sn, std::string_view id,
                            std::string_view name) {
    return ComponentKind{c, sw, sn, id, id.empty() ? std::uint16_t{0xFFFF} : seg(id), name};
}

// Listing names are kept with their trailing blanks: the listing prints them as they are.
constexpr std::array<ComponentKind, code::last + 1> kTable = {{
    row(0, "", "", "", ""),
    row(1, "/vga", "VGA", "4080:0", ""),
    row(2, "/ncr", "", "4086:0", ""),
    row(3, "/aha", "", "4086:0", ""),
    row(4, "/other", "Other", "", ""),
    row(5, "/logo", "Logo", "4000:0", "LOGO BitMap     "),
    row(6, "", "", "", ""),
    row(7, "/d", "D", "", ""),
    row(8, "/cpucode", "CPUCODE", "4001:0", "CPU micro code  "),
    row(9, "/epa", "EPA", "4002:0", "EPA LOGO        "),
    row(10, "/acpi", "ACPI", "4003:0", "ACPI table      "),
    row(11, "/acpitbl", "ACPI", "4003:0", "ACPI table      "),
    row(12, "/vsa", "VSA", "4004:0", "VSA driver      "),
    row(13, "/pci", "PCI", "4086:0", ""),
    row(14, "/hpm", "HPM", "4005:0", "HPM ROM         "),
    row(15, "/hpc", "HPC", "4006:0", "HPC ROM         "),
    row(16, "/vrs", "VRS", "4007:0", "VRS ROM         "),
    row(17, "/isa", "ISA", "40A0:0", ""),
    row(18, "/fnt0", "FNT0", "4008:0", "FNT0 ROM        "),
    row(19, "/fnt1", "FNT1", "4009:0", "FNT1 ROM        "),
    row(20, "/fnt2", "FNT2", "400a:0", "FNT2 ROM        "),
    row(21, "/fnt3", "FNT3", "400b:0", "FNT3 ROM        "),
    row(22, "/fnt4", "FNT4", "400c:0", "FNT4 ROM        "),
    row(23, "/fnt5", "FNT5", "400d:0", "FNT5 ROM        "),
    row(24, "/ygroup", "YGROUP", "400e:0", "YGROUP ROM      "),
    row(25, "/mib", "MIB", "400f:0", "MIB ROM         "),
    row(26, "/epa1", "EPA1", "4010:0", "EPA1 ROM        "),
    row(27, "/logo1", "LOGO1", "4011:0", "LOGO1 ROM       "),
    row(28, "/oem0", "OEM0", "4012:0", "OEM0 CODE       "),
    row(29, "/oem1", "OEM1", "4013:0", "OEM1 CODE       "),
    row(30, "/oem2", "OEM2", "4014:0", "OEM2 CODE       "),
    row(31, "/oem3", "OEM3", "4015:0", "OEM3 CODE       "),
    row(32, "/oem4", "OEM4", "4016:0", "OEM4 CODE       "),
    row(33, "/oem5", "OEM5", "4017:0", "OEM5 CODE       "),
    row(34, "/oem6", "OEM6", "4018:0", "OEM6 CODE       "),
    row(35, "/oem7", "OEM7", "4019:0", "OEM7 CODE       "),
    row(36, "/xgroup", "XGROUP", "407F:0", "XGROUP CODE     "),
    row(37, "/btvga", "", "", ""),
    row(38, "/epa2", "EPA2", "401a:0", "EPA2 ROM        "),
    row(39, "/epa3", "EPA3", "401b:0", "EPA3 ROM        "),
    row(40, "/epa4", "EPA4", "401c:0", "EPA4 ROM        "),
    row(41, "/epa5", "EPA5", "401d:0", "EPA5 ROM        "),
    row(42, "/epa6", "EPA6", "401e:0", "EPA6 ROM        "),
    row(43, "/epa7", "EPA7", "401f:0", "EPA7 ROM        "),
    row(44, "/logo2", "Logo2", "4020:0", "LOGO2 ROM       "),
    row(45, "/logo3", "Logo3", "4021:0", "LOGO3 ROM       "),
    row(46, "/logo4", "Logo4", "4022:0", "LOGO4 ROM       "),
    row(47, "/logo5", "Logo5", "4023:0", "LOGO5 ROM       "),
    row(48, "/logo6", "Logo6", "4024:0", "LOGO6 ROM       "),
    row(49, "/logo7", "Logo7", "4025:0", "LOGO7 ROM       "),
    row(50, "/krvflash", "Flash ROM", "4026:0", "Flash ROM       "),
    row(51, "/nnoprom", "NNOPROM", "4027:0", "NNOPROM         "),
    row(52, "/ros", "ROS", "4028:0", "ROS ROM         "),
    row(53, "/group", "GROUP", "4029:0", ""),
    row(54, "/NoCompress", "NoCompress", "4045:0", "NoCompress ROM  "),
    row(55, "/OSB_LOGO", "OsbLogo", "4046:0", "OSB LOGO ROM    "),
    row(56, "/OSB_BMP", "OsbBmp", "404E:0", "OSB BMP ROM     "),
    row(57, "/OSB_BMP1", "OsbBmp1", "404F:0", "OSB BMP1 ROM    "),
    row(58, "/OSB_BMP2", "OsbBmp2", "4050:0", "OSB BMP2 ROM    "),
    row(59, "/OSB_BMP3", "OsbBmp3", "4051:0", "OSB BMP3 ROM    "),
    row(60, "/OSB_BMP4", "OsbBmp4", "4052:0", "OSB BMP4 ROM    "),
    row(61, "/OSB_BMP5", "OsbBmp5", "4053:0", "OSB BMP5 ROM    "),
    row(62, "/OSB_BMP6", "OsbBmp6", "4054:0", "OSB BMP6 ROM    "),
    row(63, "/OSB_BMP7", "OsbBmp7", "4055:0", "OSB BMP7 ROM    "),
    row(64, "/OSB_LOGO1", "OsbLogo1", "4047:0", "OSB LOGO1 ROM   "),
    row(65, "/OSB_LOGO2", "OsbLogo2", "4048:0", "OSB LOGO2 ROM   "),
    row(66, "/OSB_LOGO3", "OsbLogo3", "4049:0", "OSB LOGO3 ROM   "),
    row(67, "/OSB_LOGO4", "OsbLogo4", "404A:0", "OSB LOGO4 ROM   "),
    row(68, "/OSB_LOGO5", "OsbLogo5", "404B:0", "OSB LOGO5 ROM   "),
    row(69, "/OSB_LOGO6", "OsbLogo6", "404C:0", "OSB LOGO6 ROM   "),
    row(70, "/OSB_LOGO7", "OsbLogo7", "404D:0", "OSB LOGO7 ROM   "),
    row(71, "/NC_CPUCODE", "NC_CPUCODE", "4056:0", "NC-CPUCODE      "),
    row(72, "/JPEG", "Jpeg", "4057:0", "JPEG ROM        "),
    row(73, "/JPEG1", "Jpeg1", "4058:0", "JPEG1 ROM        "),
    row(74, "/JPEG2", "Jpeg2", "4059:0", "JPEG2 ROM        "),
    row(75, "/JPEG3", "Jpeg3", "405A:0", "JPEG3 ROM        "),
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
    row(86, "/BIOSF0", "BIOSF0", "405D:0", "BIOSF0            "),
    row(87, "/BIOSF1", "BIOSF1", "405E:0", "BIOSF1           "),
    row(88, "/BIOSF2", "BIOSF2", "405F:0", "BIOSF2           "),
    row(89, "/BIOSF3", "BIOSF3", "4060:0", "BIOSF3           "),
    row(90, "/BIOSF4", "BIOSF4", "4061:0", "BIOSF4           "),
    row(91, "/BIOSF5", "BIOSF5", "4062:0", "BIOSF5           "),
    row(92, "/BIOSF6", "BIOSF6", "4063:0", "BIOSF6           "),
    row(93, "/BIOSF7", "BIOSF7", "4064:0", "BIOSF7           "),
    row(94, "/BIOSF8", "BIOSF8", "4065:0", "BIOSF8           "),
    row(95, "/BIOSF9", "BIOSF9", "4066:0", "BIOSF9           "),
    row(96, "/GV3", "GV3", "4067:0", "GV3              "),
    row(97, "/NVMM", "NVMM", "", ""),
    row(98, "/CALS", "CALSVersion", "4068:0", ""),
    row(99, "/verify", "VERIFY", "", ""),
}};

constexpr bool rows_in_order() {
    for (std::size_t i = 0; i < kTable.size(); ++i)
        if (kTable[i].option_code != i) return false;
    return true;
}
static_assert(rows_in_order(), "catalogue rows must stand at their OptionCode");

std::string format(const char* pattern, int value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

}  // namespace

const ComponentKind& kind(OptionCode c) { return c <= code::last ? kTable[c] : kTable[0]; }

OptionCode lookup_option(std::string_view text) {
    for (const ComponentKind& k : kTable) {
        if (k.switch_text.empty() || k.switch_text.size() != text.size()) continue;
        if (strncasecmp(k.switch_text.data(), text.data(), text.size()) == 0) return k.option_code;
    }
    return 0;
}

std::string_view short_name(OptionCode c) { return kind(c).short_name; }

std::string_view failure_name(OptionCode c) {
    return kind(c).short_name.empty() ? kind(c).switch_text : kind(c).short_name;
}

std::string group_type_id(int group_number) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X:0", 0x4029 + group_number);
    return buf;
}

std::optional<SlotFamily> slot_family(OptionCode c) {
    switch (c) {
    case code::vga: return kVgaSlots;
    case code::pci: return kPciSlots;
    case code::isa: return kIsaSlots;
    default: return std::nullopt;
    }
}

char slot_char(const SlotFamily& family, int index) {
    if (family.base == kVgaSlots.base) return static_cast<char>('1' + index);
    if (family.base == kIsaSlots.base && index >= 4) return static_cast<char>('1' + index - 4);
    return static_cast<char>('A' + index);
}

char slot_char(OptionCode c, int index) {
    std::optional<SlotFamily> family = slot_family(c);
    return family ? slot_char(*family, index) : '?';
}

std::string listing_name(std::uint16_t s, std::uint16_t o) {
    // Kinds with a fixed name: the first row whose segment is s.
    bool fixed = (s >= 0x4000 && s <= 0x4028) || (s >= 0x4045 && s <= 0x4067) || s == 0x407F ||
                 (s >= 0x40B0 && s <= 0x40B6) || s == 0x4101;
    if (fixed) {
        for (const ComponentKind& k : kTable)
            if (k.type_value == s && !k.listing_name.empty()) return std::string(k.listing_name);
    }
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
