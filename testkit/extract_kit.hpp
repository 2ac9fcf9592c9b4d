// Test helpers for release and extract: a synthetic image with a chain of
// given members inside a compressed area, members made by an independent
// LZH archiver, and programs found on the PATH.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "testkit/image_builder.hpp"

namespace testkit {

// A 256 KB image: a system BIOS member (5000:0) at 0, the chain from
// 0x10000 holding `members` (each raw member bytes, followed by the extra
// end byte), the "*BBSS*" record giving the compressed area's end
// kChainImageAreaEnd; with `bs1` a "*BS1" record pointing at that offset.
inline constexpr std::uint32_t kChainStart = 0x10000;
inline constexpr std::uint32_t kChainImageAreaEnd = 0x3B000;

struct ChainImage {
    SyntheticImage image{256 * KB};
    std::vector<std::uint32_t> positions;  // where each member went
    std::uint32_t chain_end = kChainStart;
};

ChainImage chain_image(const std::vector<std::vector<std::uint8_t>>& members,
                       std::optional<std::uint32_t> bs1 = std::nullopt);

// Sets the TypeId bytes (15 to 18) of raw member bytes and makes the header
// sum match again.
void retag_member(std::vector<std::uint8_t>& member, std::uint16_t type_segment, std::uint16_t type_offset = 0);

// The first member (header and data, without the archive's end byte) of an
// LZH archive file.
std::vector<std::uint8_t> first_lzh_member(const std::string& archive);

// The full path of `program` found through PATH; nothing when absent.
std::optional<std::string> find_on_path(const std::string& program);

}  // namespace testkit
