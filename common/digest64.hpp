// A 64-bit digest of a byte string, for telling images and journals apart
// (not for security): the one a save's journal keeps, so its values never
// change. A leaf that only reads its span, run over whole images: the fuzz
// build leaves the sanitizers out of it.
#pragma once

#include <cstdint>
#include <span>

std::uint64_t digest64(std::span<const std::uint8_t> data);
