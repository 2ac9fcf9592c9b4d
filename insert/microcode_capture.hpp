// Keeping the CPU microcode component (TypeId segment 0x4001) met during the
// listing's walk of the chain, so that the "Micro Code Information" report
// can show its entries after the totals.
#pragma once

#include <cstdint>
#include <vector>

#include "image/chain.hpp"

inline constexpr std::uint16_t kCpuCodeSegment = 0x4001;
// The largest component the capture expands; a header promising more is
// damaged (an image holds at most a few MB of components).
inline constexpr std::uint32_t kMaxCapturedSize = 16u << 20;

// What the walk kept: whether it holds a component, the component's bytes
// and its original size from its header.
struct MicrocodeCapture {
    bool captured = false;
    std::vector<std::uint8_t> data;
    std::uint32_t original_size = 0;
};

// Keeps the member at `member.position` of `image`, replacing an earlier
// capture: the data of a "-lh0-" member as it stands, any other member
// expanded. REQUIRES: the member lies wholly inside the image (as walk_chain
// gives it). A member whose original size exceeds kMaxCapturedSize, whose
// method is unknown ("Unknown method: %u" on the console channel) or whose
// data ends early is not captured. A damaged member does not end the run:
// what is damaged goes to the console channel and nothing is captured.
void capture_microcode(ImageBytes image, const ChainMember& member, MicrocodeCapture& capture);
