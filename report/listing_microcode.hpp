// The microcode part of the component listing: the "(SP) NCPUCODE" row of
// the uncompressed block at the top of the compressed area, and the "Micro
// Code Information" report of the entries image/microcode finds.
//
// Cells go four to a line for Intel entries, separated by "|  " under the
// heading's bars (columns 18, 39, 60), and two to a line for bridge entries,
// the separator in column 39 as in the bridge heading.
#pragma once

#include "image/microcode.hpp"
#include "image/survey.hpp"

inline constexpr int kIntelFirstColumn = 18;  // column of the first separator of a line
inline constexpr int kIntelColumnStep = 21;
inline constexpr int kCellWrapColumn = 62;  // a separator beyond this ends the line

// Prints the "(SP) NCPUCODE        " row (original size and space both the
// block's length, the trailer's name) when the block's length is not 0.
void list_top_block(const std::optional<TopBlockRecord>& block);

// Prints the table cell of `entry` and returns the column of the next
// separator. An Intel cell: the package text, " %02X   %04X" (update
// revision's low byte, signature's low 16 bits), then at `column` a
// separator "|  " (column + 21), or a line end when `column` is beyond 62
// (18). A bridge cell takes the left or the right half of a line.
int print_microcode_entry(const MicrocodeEntry& entry, int column);

// The "Micro Code Information" report. A last line with fewer than four
// cells is left open after its "|  ".
void print_microcode_report(const MicrocodeReport& report);
