// A 256 KB image that gives every kind of row and line of the /D listing:
// the system BIOS, chain members of several kinds (VGA, PCI, CPU microcode,
// JPEG engine, an unknown TypeId), the uncompressed microcode block, a
// member in the "*BT-VGA*" slot, the on-board VGA ROM after "BtBkVgaRom",
// a memory module in the "*NVDAMM*" slot and microcode in all three places.
//
// Layout: system BIOS 5000:0 at 0 (0xE000 bytes); chain from 0x10000;
// "*BBSS*" at 0x28000 (area end 0x2F000, check block 0x2C000, microcode
// table 0x24000 with five Intel entries); microcode block of 0x1800 bytes
// below 0x2F000 with "*BS1" at 0x2F800 pointing at it; records from top_base:
// "*BT-VGA*" (slot 0x8000-0xA000), "*NVDAMM*" (slot 0x2000-0x3000),
// "BtBkVgaRom" followed by 55 AA 00 00.
#pragma once

#include "testkit/image_builder.hpp"

namespace testkit {

SyntheticImage listing_showcase_image();

}  // namespace testkit
