// The plan of an add, worked out in memory from one walk of the chain before
// anything is written: which members the new one replaces (a member of the
// same kind, or the same option ROM), which ROM slot it takes, where it goes
// (the free place the chain ends at, once the replaced members are taken
// out), the bytes written there, and whether they fit.
//
// Space: the new member's whole extent in the chain, H + P + 3 bytes, must
// end at or below the start of the uncompressed microcode block below
// area_end (area_end - ncpu_size - 32 when its trailer stands there), else
// at or below area_end. The replaced members' bytes count as free.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/chain.hpp"
#include "image/group.hpp"
#include "insert/prepare.hpp"

struct BiosImage;

struct AddPlan {
    std::vector<ChainMember> removals;       // the members replaced, in image order
    std::uint32_t chain_end = 0;             // where the chain ended before the add: the end of the gaps
    std::uint32_t position = 0;              // where the new member goes, after the removals
    std::vector<std::uint8_t> bytes;         // what is written there
    std::optional<std::uint32_t> top_block;  // a microcode block placed at the top: its start
};

// A plan, or the refusal of the add: its message is printed, and the
// result says the kind that failed (the image unchanged).
struct Planned {
    std::optional<AddPlan> plan;
    GroupResult refusal;
};

// The plan for the prepared member. Updates `slots` with the ROM slots the
// walk saw taken.
// `pinned`: the slot "slot=X" names, as its segment: the member goes there,
// replacing what stands there, whatever the run's slot rule would choose.
Planned plan_add(const GroupRequest& group, RomSlots& slots, const BiosImage& image, const PreparedMember& member,
                 std::optional<std::uint16_t> pinned = std::nullopt);

// The plan of /NC_CPUCODE: the walk's replacements (an "NC-CPUCODE" member of
// the chain), then `body` and its 32-byte trailer as the block that ends at
// area_end. The block must fit between the chain's end and area_end, the
// old block's bytes counted as free, and be at most 64 KiB; bytes of a
// longer old block below the new one become 0xFF.
Planned plan_top_block(const GroupRequest& group, RomSlots& slots, const BiosImage& image,
                       std::span<const std::uint8_t> body);

// A stored member's work archive as it goes to `position` when its kind
// keeps its data on 16 bytes (/NoCompress): the header lengthened so that
// the data starts on a 16-byte boundary, the data behind it, 0xFF up to the
// member's whole extent. Nothing when the header cannot grow.
std::optional<std::vector<std::uint8_t>> aligned_member(std::span<const std::uint8_t> archive, std::uint32_t position);

// Whether members of the TypeId segment:offset keep their data on 16 bytes.
bool aligned_kind(std::uint16_t segment, std::uint16_t offset);
