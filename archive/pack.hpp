// Packing one component into a member: compressed with LH5 ("-lh5-"), or
// stored ("-lh0-") when compression does not pay or storing is asked for,
// by the exact encoder or, when asked, the smaller of it and the near-optimal one,
// under a member header that carries the component's TypeId. The result is
// the work archive in memory: the member followed by one 0 byte (the end
// byte every member keeps when it is copied into an image).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/member_header.hpp"
#include "common/voice.hpp"

// Which LH5 encoder packs: the exact one, whose stream is the reference
// build's bit for bit, or the near-optimal one, smaller but other bytes.
enum class Encoder { Exact, Best };

// How one component is packed.
struct PackOptions {
    std::string type_id = "7000:0";    // TypeId text written into the header ("4080:0")
    std::string name;                  // the name stored in the header
    bool verbose = false;              // "Adding %s " ... " %u.%u%%\n" on standard output, dots on the console channel
    bool store = false;                // stored without compression
    Encoder encoder = Encoder::Exact;  // Best: the smallest of the near-optimal stream, the exact one and storing
    Voice voice = {};                  // where the words above and "17" go (none: silent)
};

// The work archive of `input`: header, data and the end byte 0. Nothing,
// with "Name too long: %s\n" on the voice's console channel, when the name is longer
// than 230 bytes. Fatal: "Out of memory.".
std::optional<std::vector<std::uint8_t>> pack_member(std::span<const std::uint8_t> input, const PackOptions& options);

// packed / original in tenths of a percent, rounded to nearest, in 32-bit
// arithmetic that never overflows; 0 when original is 0.
std::uint32_t compression_ratio(std::uint32_t packed, std::uint32_t original);
