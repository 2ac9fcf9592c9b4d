// Adds into the boot block, outside the chain: /btvga places a VGA ROM in
// the "BtBkVgaRom" room (uncompressed) or the "*BT-VGA*" slot (packed), and
// /NVMM a memory-module file in the "*NVDAMM*" slot. Nothing is written
// unless the file fits, so a failed add leaves the image byte-identical.
#pragma once

#include <cstdint>
#include <vector>

#include "image/group.hpp"
#include "image/image_writer.hpp"

// /btvga RomFile: only a banked image has a room for a VGA ROM ("%s has no
// room for a boot-block VGA ROM; nothing is added." otherwise). The file
// must begin with 55 AA ("The ROM Not VGA BIOS", the run ends); it is cut
// or padded with 0xFF to its length byte's 512-byte blocks. With a
// "BtBkVgaRom" room it goes there as it is; else it is packed whole (the
// file as it is) under TypeId 4000:0 into the "*BT-VGA*" slot. "%s have
// not enough space for adding ROM." when it does not fit. The rest of the
// room or slot becomes 0xFF.
GroupResult add_boot_block_vga(const Operand& op);

// /NVMM RomFile: the file's bytes at the start of the "*NVDAMM*" slot, the
// rest of the slot 0x00. "%s isn't nVidia chipset BIOS ROM." without the
// slot, "%s have not enough space for adding ROM." when it does not fit.
GroupResult add_memory_module(const Operand& op);

// `data` at the start of the boot-block `region` (BootVgaRoom, BootVgaSlot
// or MemorySlot), the rest of it `fill`. The caller has found the region
// and checked that `data` fits.
void fill_boot_region(ImageWriter& writer, Region region, std::vector<std::uint8_t> data, std::uint8_t fill);
