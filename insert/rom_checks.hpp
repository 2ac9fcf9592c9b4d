// The option ROM checks of an add: the 55 AA signature, the 8-bit sum of an
// ISA ROM, and the PCI data structure (vendor, device, class) by which two
// VGA or PCI ROMs are told to be builds of the same ROM.
//
// Option ROM layout used here:
//   0     2  55 AA
//   2     1  length in 512-byte blocks
//   0x18  2  offset of the PCI data structure from the ROM's start
// PCI data structure, from its start:
//   4  2 vendor ID   6  2 device ID   14  1 sub-class   15  1 base class
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/catalogue.hpp"

// The most of a ROM an add reads: 128 KiB.
inline constexpr std::size_t kMaxRomBytes = 0x20000;

// Whether `rom` begins with the option ROM signature 55 AA and holds its length byte.
bool has_rom_signature(std::span<const std::uint8_t> rom);

// True for the option ROM kinds, whose files are checked and take slots.
bool is_rom_kind(OptionCode c);

// The check before an option ROM is added: 55 AA, and for /isa with a
// non-zero length byte an 8-bit sum of 0 over that length (a ROM shorter
// than its length byte says fails too). On failure prints "CAUTION: %s file
// is not BIOS ROM" and a line break on the console and returns false.
bool check_option_rom(OptionCode c, std::span<const std::uint8_t> rom, const std::string& rom_file);

// Whether `old_rom`, a ROM already in the image, is the same ROM as the new
// one for the option `c`: VGA and PCI kinds compare vendor, device, sub-class
// and base class of the PCI data structures (a ROM without a structure inside
// it is no match); /isa compares the new ROM's bytes with the old one's
// first bytes (the old one must be at least as long).
bool same_rom(OptionCode c, std::span<const std::uint8_t> new_rom, std::span<const std::uint8_t> old_rom);
