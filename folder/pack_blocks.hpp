// /pack's blocks outside the chain: the uncompressed microcode block at the
// top of the area, the boot block's "*BT-VGA*" slot and its "*NVDAMM*"
// memory-module slot. A block whose content file still has its line's
// SHA-256 stays as image.bin holds it. A changed one goes in as the add of
// its kind puts a file there:
//   top       the content as the block's body, placed as /NC_CPUCODE
//             places it (ending at area_end, its trailer behind it);
//   boot_vga  the content packed under the line's TypeId, method and stored
//             name, at the start of the slot, 0xFF behind it (as /btvga
//             fills the slot); it must begin 55 AA;
//   memory    the content at the start of the slot, 0x00 behind it (as /NVMM).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/pack.hpp"
#include "folder/manifest.hpp"
#include "image/fixups.hpp"
#include "image/image_writer.hpp"

// A line outside the chain whose content changed, with that content.
struct ChangedBlock {
    const ManifestLine* line = nullptr;
    std::span<const std::uint8_t> content;
    Encoder encoder = Encoder::Exact;  // what packs it, when it is packed
};

// A manifest line's content packed as its member: the line's TypeId,
// stored name and method, by `encoder`. Nothing when the name is too long
// (pack_member said so).
std::optional<std::vector<std::uint8_t>> pack_line(const ManifestLine& l, std::span<const std::uint8_t> content,
                                                   Encoder encoder);

// Puts each changed block in, after the chain is laid out; sets
// fixups.top_block_named when the top block was placed. The fault, said
// as "manifest line %d: ...", when one does not fit or has no place in the
// image; the image is then left half-made and must not be written.
std::optional<std::string> put_changed_blocks(ImageWriter& writer, std::span<const ChangedBlock> blocks,
                                              FixupRequest& fixups);
