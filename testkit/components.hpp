// Components as a BIOS engineer hands them to the tool: option ROMs with a
// PCI data structure and a zero 8-bit sum, and DOS executables (a real MZ
// header) that carry a component as their body. Also the image's sums,
// computed here independently of the tool.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace testkit {

struct RomFields {
    std::uint32_t size = 0x2000;  // a multiple of 512, at most 0x1FE00
    std::uint16_t vendor = 0x10DE;
    std::uint16_t device = 0x0040;
    std::uint8_t sub_class = 0x00;
    std::uint8_t base_class = 0x03;  // display controller
    std::uint8_t build = 1;          // varies the code bytes: a newer build of the same ROM
};

// 55 AA, the length in 512-byte blocks, the PCI data structure ("PCIR") at
// 0x40 (its offset at 0x18; one x86 image, the last, of that length), code
// bytes, and a last byte that makes the 8-bit sum of the ROM 0.
std::vector<std::uint8_t> option_rom(const RomFields& fields);

// An MZ executable whose DOS header is `header_paragraphs` 16-byte
// paragraphs long, followed by `body`.
std::vector<std::uint8_t> dos_executable(std::span<const std::uint8_t> body, std::uint16_t header_paragraphs = 2);

// The 16-bit little-endian word sum and the 8-bit byte sum of `data`.
std::uint16_t word_sum(std::span<const std::uint8_t> data);
std::uint8_t byte_sum(std::span<const std::uint8_t> data);

// Makes `image` check out as the closing fix-ups leave an image: the byte at
// checksum_block + 0xFFE becomes the 8-bit sum of the bytes from `first` up
// to it, and the word at `balance_at` (even) is set so that the word sum of
// the whole image is 0.
void balance_image(std::vector<std::uint8_t>& image, std::uint32_t first, std::uint32_t checksum_block,
                   std::uint32_t balance_at);

}  // namespace testkit
