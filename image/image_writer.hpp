// Every in-place change the add and the closing fix-ups make to the image.
// Each write is checked: one that fails is reported and ends the run with
// status 1 (FatalError "Can't write %s"), so a failed write is never taken
// for success. Callers decide everything first and write last, so a
// failure of their own (a refusal, no room) leaves the image untouched.
#pragma once

#include <cstdint>
#include <span>

struct BiosImage;

// Writes `data` at `offset`. REQUIRES: the bytes lie inside the file.
void write_image(BiosImage& image, std::uint64_t offset, std::span<const std::uint8_t> data);

// Removes the `length` bytes at `position` from the chain (close_gap up to `end`).
void remove_from_image(BiosImage& image, std::uint32_t position, std::uint32_t length,
                       std::uint32_t end);

// Flushes the writes to the file.
void finish_image_writes(BiosImage& image);
