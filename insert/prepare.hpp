// The first stage of an add: which file, and its preparation by kind and
// content into the one-member archive the later stages place. Preparation
// touches only work files in the current directory, never the image.
//
// A RomFile is, by its kind and first bytes (first match):
//   /NoCompress         packed stored ("-lh0-"); aligned when placed
//   already a member    ("-lh" at byte 2) used as it stands
//   /mib                text converted to a "-MIB-" document, "KorvaMIB.doc"
//   /krvflash           packed as it is
//   a bitmap ("BM")     converted to the BIOS picture format, "KorvaBmp.bmp"
//   an executable       ("MZ", not /oem0-7 or /BIOSF0-9): its body, stored
//   /JPEG, /JPEG1-3     16 zero bytes in front, "KRV-JPEG.BIN"
//   anything else       packed as it is
// A lone switch takes its kind's default file (prepare_defaults.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/run_state.hpp"

class File;
struct BiosImage;

struct PreparedMember {
    std::string path;               // the one-member archive: "bios.rom", or the user's own member file
    std::vector<std::uint8_t> rom;  // option ROM kinds: the uncompressed ROM, at most 128 KiB
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

// A group with a RomFile (state.rom_file, open as `rom`).
Preparation prepare_rom_file(RunState& state, const BiosImage& image, File& rom);

// A lone switch: its kind's default file, prepared as the defaults say.
Preparation prepare_default(RunState& state, const BiosImage& image);

// Prints "Combine %s file to %s...\n" with the prepared file and the image.
void print_combine(const std::string& file, const BiosImage& image);

