// Saving the CPU microcode component (TypeId segment 0x4001) met during the
// listing's walk of the chain as the work file "CPU_FILE.STV", so that the
// "Micro Code Information" report can show its entries after the totals.
#pragma once

#include <cstdint>

#include "image/chain.hpp"

class File;

inline constexpr std::uint16_t kCpuCodeSegment = 0x4001;
// The largest component the capture expands; a header promising more is
// damaged (an image holds at most a few MB of components), and expanding it
// would fill the disk.
inline constexpr std::uint32_t kMaxCapturedSize = 16u << 20;

// What the walk saved: whether "CPU_FILE.STV" holds a component, and that
// component's original size from its header.
struct MicrocodeCapture {
    bool captured = false;
    std::uint32_t original_size = 0;
};

// Saves the member at `member.position` of `image` as "CPU_FILE.STV",
// replacing an earlier capture: the data of a "-lh0-" member is copied out
// through "FILE_BUF.BIN"; any other member is copied whole to "FILE_BUF.BIN"
// and expanded by extract_component. "FILE_BUF.BIN" is removed afterwards.
// REQUIRES: the member lies wholly inside the file (as walk_chain gives it).
// A member whose original size exceeds kMaxCapturedSize is not captured.
// A fatal codec error while expanding (a damaged member) does not end the
// run: its message goes to the console channel and nothing is captured.
void capture_microcode(File& image, const ChainMember& member, MicrocodeCapture& capture);
