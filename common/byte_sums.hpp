// The sums of a span's bytes at even and at odd indexes, of which an image's
// word sum and byte sum are made. A leaf that only reads its span, run over
// whole images: the fuzz build leaves the sanitizers out of it.
#pragma once

#include <cstdint>
#include <span>

struct EvenOddSums {
    std::uint64_t even = 0, odd = 0;
};

EvenOddSums even_odd_sums(std::span<const std::uint8_t> data);
