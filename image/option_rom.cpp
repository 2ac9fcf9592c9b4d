// The PCI identity of an option ROM and the header of each of its images.
#include "image/option_rom.hpp"

#include <iterator>

#include "common/bytes.hpp"

namespace {

inline constexpr std::size_t kPciPointerAt = 0x18;
inline constexpr std::size_t kVendorAt = 4, kDeviceAt = 6;
inline constexpr std::size_t kSubClassAt = 14, kBaseClassAt = 15;
inline constexpr std::size_t kLengthByteAt = 2;
inline constexpr std::size_t kImageLengthAt = 16, kCodeTypeAt = 20, kIndicatorAt = 21;
inline constexpr std::uint8_t kLastImage = 0x80;

inline constexpr const char* kClassNames[] = {"unclassified",
                                              "mass storage",
                                              "network",
                                              "display",
                                              "multimedia",
                                              "memory",
                                              "bridge",
                                              "communication",
                                              "system peripheral",
                                              "input",
                                              "docking station",
                                              "processor",
                                              "serial bus",
                                              "wireless",
                                              "intelligent I/O",
                                              "satellite communication",
                                              "encryption",
                                              "signal processing",
                                              "processing accelerator",
                                              "instrumentation"};

}  // namespace

std::optional<PciIdentity> pci_identity(std::span<const std::uint8_t> rom) {
    const std::optional<std::uint16_t> at = bytes::get16(rom, kPciPointerAt);
    if (!at || std::size_t{*at} + kBaseClassAt + 1 > rom.size()) return std::nullopt;
    const std::span<const std::uint8_t> pcir = rom.subspan(*at);
    return PciIdentity{*bytes::get16(pcir, kVendorAt), *bytes::get16(pcir, kDeviceAt), pcir[kSubClassAt],
                       pcir[kBaseClassAt]};
}

std::optional<PciIdentity> signed_pci_identity(std::span<const std::uint8_t> rom) {
    if (rom.size() < 2 || rom[0] != 0x55 || rom[1] != 0xAA) return std::nullopt;
    const std::optional<std::uint16_t> at = bytes::get16(rom, kPciPointerAt);
    if (!at || !bytes::has_text(rom, *at, "PCIR")) return std::nullopt;
    return pci_identity(rom);
}

std::optional<RomImage> rom_image(std::span<const std::uint8_t> rom) {
    if (rom.size() <= kLengthByteAt || rom[0] != 0x55 || rom[1] != 0xAA) return std::nullopt;
    RomImage image;
    image.length = std::size_t{rom[kLengthByteAt]} * kRomBlock;
    image.pci = signed_pci_identity(rom);
    if (!image.pci) return image;
    const std::span<const std::uint8_t> pcir = rom.subspan(*bytes::get16(rom, kPciPointerAt));
    if (const std::optional<std::uint16_t> blocks = bytes::get16(pcir, kImageLengthAt))
        image.pci_length = std::size_t{*blocks} * kRomBlock;
    image.code_type = pcir.size() > kCodeTypeAt ? pcir[kCodeTypeAt] : 0;
    image.last = pcir.size() <= kIndicatorAt || (pcir[kIndicatorAt] & kLastImage) != 0;
    return image;
}

bool pci_class_is(const PciIdentity& pci, std::uint8_t base_class) {
    constexpr std::uint8_t kDisplay = 0x03, kBeforeClassCodes = 0x00, kVgaCompatible = 0x01;
    if (pci.base_class == base_class) return true;
    return base_class == kDisplay && pci.base_class == kBeforeClassCodes && pci.sub_class == kVgaCompatible;
}

const char* pci_class_name(std::uint8_t base_class) {
    if (base_class < std::size(kClassNames)) return kClassNames[base_class];
    return "unknown";
}
