// /D: the component listing and space report, rendered from the image's
// survey.
//
//   title, column header and an 80-character rule
//   row 0: the system BIOS (its header at first_member in a large image; in
//          a small one at 0, or at top_base when the chain starts at 0)
//   one row per member of the chain, in image order
//   "(SP) NCPUCODE" and "(BB) Compress BT-VGA" rows of blocks outside the chain
//   total, used and remaining space of the compressed area (32-bit, so a
//   chain that overruns its area shows a remaining space that wraps)
//   the on-board VGA line, the memory-module line, the microcode report
//
// Rows put the space in column 40 and the stored name in column 56 (see
// report/listing_row.hpp). The listing reads the image and changes nothing.
#pragma once

#include <string>

#include "image/group.hpp"
#include "image/survey.hpp"

// Prints the listing of the image `input_file` from its survey.
void print_listing(const std::string& input_file, const ImageSurvey& survey);

// The rows and lines of the blocks outside the chain:
// "(BB) Compress BT-VGA " (the hexadecimal compressed size is the bare
// packed size, its kilobytes count the whole member with its end byte),
// "\n ****** On Board VGA ROM In BootBlock ******\n", and the memory module's
// "\n *** " with the three texts after "NVMM", each after one blank, and the
// slot's start and end as stored. Each prints nothing for nothing.
void list_boot_vga(const std::optional<BootVgaMember>& member);
void print_on_board_vga(bool on_board);
void list_memory_module(const std::optional<MemoryModule>& module);

// /D: the listing of the group's image (a BIOS image; the run checks that).
GroupResult list_components(const Operand& op);
