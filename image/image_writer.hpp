// Every change an operation makes to the image goes through here. An
// operation holds the image only through an ImageWriter, which hands out a
// const view: the bytes change only inside a WriteScope, which names the
// regions the operation's plan may change (the chain for an add or a
// release, the top block for /NC_CPUCODE, a boot-block slot for /btvga and
// /NVMM, the fix-ups' bookkeeping bytes). A write outside them is an
// internal fault: the run ends with status 1 and, since the image is
// written back only at the end of a run, nothing reaches the file. When a
// scope ends, the layout is worked out again from the bytes, so that later
// groups see what the change made (a top block placed, a record moved).
//
// The dry run names the bytes a run would change by the same regions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

#include "image/bios_image.hpp"

// The byte ranges of an image an operation may change, by name.
enum class Region : std::uint8_t {
    SystemBios,     // the system BIOS member's space: its position up to chain_start
    Chain,          // chain_start up to chain_space_end
    ChainAndTop,    // chain_start up to area_end: the chain and a top block placed below area_end
    TopBlock,       // the top microcode block and its trailer
    BootVgaRoom,    // the "BtBkVgaRom" room
    BootVgaSlot,    // the "*BT-VGA*" slot
    MemorySlot,     // the "*NVDAMM*" slot
    Bs1Pointer,     // the "*BS1" record's address
    CheckBytes,     // the compressed area's two check bytes
    BankCheckByte,  // the bank block's last byte (banked images)
    SumBytes,       // the word that balances the file's sum, or the "IMD$" block
};

// Where `region` lies in `image`; nothing when the image has none.
std::optional<ByteRange> region_range(const BiosImage& image, Region region);

// The region's name in reports ("system_bios", "chain", "top_block", "boot_block_vga",
// "memory_module", "bs1_pointer", "check_bytes", "bank_check_byte",
// "imd_block" or "sum_word").
const char* region_name(const BiosImage& image, Region region);

// The image as operations hold it: read through image(), changed only
// through a WriteScope.
class ImageWriter {
public:
    explicit ImageWriter(BiosImage& image) : image_(image) {}
    const BiosImage& image() const { return image_; }
    // A top block placed in this run starts at `start`: the fix-ups point
    // "*BS1" at it, whatever later groups do.
    void place_top_block(std::uint32_t start) { image_.placed_top_block = start; }

private:
    friend class WriteScope;
    BiosImage& image_;
};

// While alive, write() and remove() may change the bytes of its ranges, and
// no others. When it ends, the layout is worked out again. Not nestable.
class WriteScope {
public:
    WriteScope(ImageWriter& writer, std::initializer_list<Region> regions);
    // Ranges without a name: for a writer's own tests.
    WriteScope(ImageWriter& writer, std::initializer_list<ByteRange> ranges);
    ~WriteScope();
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

    const BiosImage& image() const { return image_; }

    // Writes `data` at `offset`. Fatal when the bytes do not lie inside one
    // range of the scope (or the image).
    void write(std::uint64_t offset, std::span<const std::uint8_t> data);

    // Removes the `length` bytes at `position` from the chain (close_gap up
    // to `end`). Fatal when [position, end) does not lie inside one range.
    void remove(std::uint32_t position, std::uint32_t length, std::uint32_t end);

private:
    BiosImage& image_;
    std::vector<ByteRange> ranges_;
};

// The chain's range: from chain_start up to chain_space_end.
ByteRange chain_range(const BiosImage& image);
