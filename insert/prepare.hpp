// The first stage of an add: which file, and its preparation by kind and
// content into the one-member work archive the later stages place. The
// archive is made in memory; preparation writes only the work files a run
// leaves behind ("bios.rom", the bodies of default executables), and never
// reads one back.
//
// A RomFile is, by its kind and first bytes (first match):
//   /NoCompress         packed stored ("-lh0-"); aligned when placed
//   already a member    ("-lh" at byte 2) used as it stands
//   /mib                text converted to a "-MIB-" document
//   /krvflash           packed as it is
//   a bitmap ("BM")     converted to the BIOS picture format
//   an executable       ("MZ", not /oem0-7 or /BIOSF0-9): its body, stored
//   /JPEG, /JPEG1-3     16 zero bytes in front, stored name "KRV-JPEG.BIN"
//   anything else       packed as it is
// A lone switch takes its kind's default file (prepare_defaults.cpp).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "driver/run_state.hpp"

struct BiosImage;

struct PreparedMember {
    std::vector<std::uint8_t> archive;  // the work archive: a member (header first), as a file holds it
    std::string source;                 // the file it came from as it stands, for messages; empty when packed
    std::vector<std::uint8_t> rom;      // option ROM kinds: the uncompressed ROM, at most 128 KiB
};

enum class Prepared {
    Ready,        // `member` is ready to be placed
    Nothing,      // a lone switch whose kind has no default file: nothing is added
    GroupFailed,  // the message is printed, the failure recorded; the next group follows
    RunFailed,    // the message is printed (and the failure recorded); the run ends
};

struct Preparation {
    Prepared status = Prepared::Nothing;
    PreparedMember member;
};

// A group with a RomFile (state.rom_file, its bytes state.rom_bytes).
Preparation prepare_rom_file(RunState& state, const BiosImage& image);

// A lone switch: its kind's default file, prepared as the defaults say.
Preparation prepare_default(RunState& state, const BiosImage& image);

// Prints "Combine %s file to %s...\n" with the prepared file and the image.
void print_combine(const std::string& file, const BiosImage& image);

// Packs `input` under the group's TypeId and `name` (verbose; stored when
// `store`) and keeps the archive as "bios.rom" (keep_group_file). Nothing
// when packing or keeping failed (said on the console channel).
std::optional<std::vector<std::uint8_t>> pack_for_group(RunState& state, std::span<const std::uint8_t> input,
                                                        const std::string& name, bool store);

// keep_work_file for the group: a work file that cannot be written sets
// state.write_failed (the run then ends with status 1). One that is the
// group's RomFile itself is not replaced: "Can't pack %s: it is the work
// file %s" on the console channel, and false.
bool keep_group_file(RunState& state, const char* name, std::span<const std::uint8_t> data);
