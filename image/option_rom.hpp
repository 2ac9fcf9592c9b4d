// The identity an option ROM carries in its PCI data structure: vendor,
// device and class, by which two builds of one ROM are told apart from
// other ROMs, and which the reports show; and the images a ROM file holds
// one after another (a legacy image, then an EFI one, say).
//
// Option ROM layout used here:
//   0     2  55 AA
//   2     1  length in 512-byte blocks
//   0x18  2  offset of the PCI data structure from the ROM's start
// PCI data structure, from its start:
//   0  4 "PCIR"   4  2 vendor ID   6  2 device ID   14  1 sub-class   15  1 base class
//   16 2 image length in 512-byte blocks   20  1 code type (0: x86 BIOS)
//   21 1 indicator: bit 7 set on the last image
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

struct PciIdentity {
    std::uint16_t vendor = 0, device = 0;
    std::uint8_t sub_class = 0, base_class = 0;
    bool operator==(const PciIdentity&) const = default;
};

// The identity of `rom`; nothing when its structure does not lie inside it.
std::optional<PciIdentity> pci_identity(std::span<const std::uint8_t> rom);

// The identity the reports show: only of a ROM that begins 55 AA and whose
// structure begins "PCIR" (an ISA ROM's word at 0x18 is no pointer).
std::optional<PciIdentity> signed_pci_identity(std::span<const std::uint8_t> rom);

inline constexpr std::size_t kRomBlock = 512;

// One image of a ROM file, as its header and PCI data structure give it.
struct RomImage {
    std::size_t length = 0;          // from the length byte, in bytes
    std::optional<PciIdentity> pci;  // when it carries "PCIR" inside it
    std::size_t pci_length = 0;      // the structure's image length, in bytes
    std::uint8_t code_type = 0;
    bool last = true;  // no structure, or its indicator says so
};

// The image at the start of `rom`: nothing unless it begins 55 AA and holds
// its length byte.
std::optional<RomImage> rom_image(std::span<const std::uint8_t> rom);

// Whether `pci` is of base class `base_class`. A device from before class
// codes that says it is VGA-compatible (class 00h, sub-class 01h) counts
// as a display (03h).
bool pci_class_is(const PciIdentity& pci, std::uint8_t base_class);

// The name of a PCI base class ("display"); "unknown" past the known ones.
const char* pci_class_name(std::uint8_t base_class);
