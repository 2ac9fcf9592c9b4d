// One read of an image into one plain record: everything the listing (/D),
// the JSON report, /verify and the dry run's report show of an image. Each
// fact is found here once; the reports in report/ only render it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/member_header.hpp"
#include "image/bios_image.hpp"
#include "image/boot_vga.hpp"
#include "image/chain.hpp"
#include "image/components.hpp"
#include "image/image_check.hpp"
#include "image/memory_module.hpp"
#include "image/microcode.hpp"

// The system BIOS: where it stands, its header when a member is stored
// there, and the space it takes (see system_bios_space).
struct SystemBiosRecord {
    std::uint32_t position = 0;
    std::optional<MemberHead> head;
    std::uint32_t space = 0;
};

// The space report's figures: the compressed area's size and what the
// system BIOS, the chain and the top microcode block take (32-bit sums, as
// the listing prints them).
struct CompressedSpace {
    std::uint32_t total = 0, used = 0;
};

// The uncompressed microcode block at the top of the area, as its trailer
// names it: the listing's "(SP)" row when its length is not 0.
struct TopBlockRecord {
    std::uint32_t start = 0;
    std::uint32_t length = 0;  // image.ncpu_size
    std::string name;          // the trailer's name, up to its 0 byte
};

// A member in the "*BT-VGA*" slot, as the listing finds it through the
// slot record's start word.
struct BootVgaMember {
    std::uint32_t position = 0;
    MemberHead head;
};

struct ImageSurvey {
    std::optional<std::string> not_bios;  // why the image is no BIOS image
    SystemBiosRecord system_bios;
    ChainWalk chain;  // the members and how the walk ended
    CompressedSpace space;
    std::optional<TopBlockRecord> top_block;  // when the trailer stands below area_end
    std::optional<ByteRange> vga_room;        // the "BtBkVgaRom" room
    std::optional<BootSlot> vga_slot;         // the "*BT-VGA*" slot
    std::optional<BootVgaMember> vga_member;  // the listing's "(BB) Compress BT-VGA" row
    bool on_board_vga = false;
    std::optional<MemoryModule> memory_module;
    MicrocodeCapture microcode_capture;  // the last CPU microcode member of the chain
    // What the captures of the chain's microcode members said when they
    // failed, each with the member's index in `chain`.
    std::vector<std::pair<std::size_t, std::string>> capture_messages;
    MicrocodeReport microcode;
    std::vector<Component> components;  // in image order
    std::optional<ImageCheck> check;    // with SurveyDepth::Digested
};

// Digested also expands every member for the checks of /verify (the
// findings) and gives each the SHA-256 of its content and an option ROM its
// PCI identity (the reports that name contents); Layout does neither.
// /verify itself runs the check alone (check_image).
enum class SurveyDepth { Layout, Digested };

ImageSurvey survey_image(const BiosImage& image, SurveyDepth depth = SurveyDepth::Layout);
