// Every change an operation makes to the image goes through here. Before it
// writes, an operation names the byte ranges its plan may change (a
// WriteScope): the chain from chain_start up to its space's end for an add
// or a release, the top block for /NC_CPUCODE, a boot-block slot for /btvga
// and /NVMM, the bookkeeping bytes for the closing fix-ups. A write outside
// them is an internal fault: the run ends with status 1 and, since the
// image is written back only at the end of a run, nothing reaches the file.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "image/bios_image.hpp"

// While alive, the writes below may change the bytes of `ranges`, and no
// others. Not nestable.
class WriteScope {
public:
    WriteScope(BiosImage& image, std::initializer_list<ByteRange> ranges);
    ~WriteScope();
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

private:
    BiosImage& image_;
};

// The chain's range: from chain_start up to chain_space_end.
ByteRange chain_range(const BiosImage& image);

// Writes `data` at `offset`. Fatal when the bytes do not lie inside one
// range of the WriteScope (or the image).
void write_image(BiosImage& image, std::uint64_t offset, std::span<const std::uint8_t> data);

// Removes the `length` bytes at `position` from the chain (close_gap up to
// `end`). Fatal when [position, end) does not lie inside one range of the
// WriteScope.
void remove_from_image(BiosImage& image, std::uint32_t position, std::uint32_t length, std::uint32_t end);
