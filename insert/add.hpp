// Adding one component to the image: the option group "/kind RomFile", or a
// lone switch whose kind has a default file. The stages, in order:
//   prepare   (prepare.hpp)    the file into a one-member archive; work files only
//   check     (rom_checks.hpp) option ROMs: signature, ISA sum
//   plan      (placement.hpp)  one walk: replacements, slot, free place, space
//   commit    (here)           the replaced members taken out, the new one written
// Nothing is written to the image unless the plan says the add succeeds, so
// a failed add leaves the image byte-identical.
#pragma once

#include <cstdint>
#include <span>

#include "image/group.hpp"

// The group's RomFile (group.rom_file, group.rom_bytes), or for a lone
// switch (an empty rom_file) its kind's default file. Failures found while
// the file is prepared, checked or converted end the run; failures from the
// walk on end only the group. op.slots: the ROM slots the run's walks saw taken.
GroupResult add_component(const Operand& op);

// /NC_CPUCODE RomFile (group.rom_bytes): the body of the executable (empty
// for any other file) as "NCPUCODE.BIN", placed uncompressed with its
// 32-byte trailer so that it ends at area_end; an "NC-CPUCODE" member of the
// chain is replaced. Later groups of the run and the fix-ups see the new block.
GroupResult add_top_microcode(const Operand& op);

// The placement of /NC_CPUCODE for a body already at hand (/pack puts an
// unpacked block back this way): nothing is printed but a refusal.
GroupResult place_top_block(const Operand& op, std::span<const std::uint8_t> body);
