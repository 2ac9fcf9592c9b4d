// The identity an option ROM carries in its PCI data structure: vendor,
// device and class, by which two builds of one ROM are told apart from
// other ROMs, and which the reports show.
//
// Option ROM layout used here:
//   0     2  55 AA
//   0x18  2  offset of the PCI data structure from the ROM's start
// PCI data structure, from its start:
//   4  2 vendor ID   6  2 device ID   14  1 sub-class   15  1 base class
#pragma once

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
