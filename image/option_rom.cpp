// The PCI identity of an option ROM.
#include "image/option_rom.hpp"

#include "common/bytes.hpp"

namespace {

inline constexpr std::size_t kPciPointerAt = 0x18;
inline constexpr std::size_t kVendorAt = 4, kDeviceAt = 6;
inline constexpr std::size_t kSubClassAt = 14, kBaseClassAt = 15;

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
