// The first stage of an add: which file, and its preparation by kind and
// content into the one-member work archive the later stages place. The
// archive is made in memory; preparation writes only the work files a run
// leaves behind ("bios.rom", the bodies of default executables), and never
// reads one back.
//
// A RomFile is, by its kind's preparation (the catalogue) and its first
// bytes (first match):
//   Stored              packed stored ("-lh0-"); aligned when placed
//   already a member    ("-lh" at byte 2) used as it stands
//   TextDocument        converted to a "-MIB-" document
//   Raw                 packed as it is
//   a bitmap ("BM")     converted to the BIOS picture format (the kind's conversion)
//   an executable       ("MZ", not WholeExecutables): its body, stored
//   JpegPrefix          16 zero bytes in front, stored name "KRV-JPEG.BIN"
//   anything else       packed as it is
// A lone switch takes its kind's default file (prepare_defaults.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/group.hpp"
#include "image/group_files.hpp"

struct BiosImage;

struct PreparedMember {
    std::vector<std::uint8_t> archive;  // the work archive: a member (header first), as a file holds it
    std::string source;                 // the file it came from as it stands, for messages; empty when packed
    std::vector<std::uint8_t> rom;      // option ROM kinds: the uncompressed ROM, at most 128 KiB
};

enum class Prepared {
    Ready,        // `member` is ready to be placed
    Nothing,      // a lone switch whose kind has no default file: nothing is added
    GroupFailed,  // the message is printed, the kind failed; the next group follows
    RunFailed,    // the message is printed, the kind failed; the run ends
};

struct Preparation {
    Prepared status = Prepared::Nothing;
    PreparedMember member;
    bool write_failed = false;  // a work file could not be written
};

// A group with a RomFile (group.rom_file, its bytes group.rom_bytes).
Preparation prepare_rom_file(const GroupRequest& group, const BiosImage& image);

// A lone switch: its kind's default file, prepared as the defaults say.
Preparation prepare_default(const GroupRequest& group, const BiosImage& image);

// Prints "Combine %s file to %s...\n" with the prepared file and the image.
void print_combine(const std::string& file, const BiosImage& image);

// A prepared archive, or the failure of the preparation (said on the
// console channel).
struct Packed {
    std::optional<std::vector<std::uint8_t>> archive;  // nothing: the preparation failed
    std::optional<std::vector<std::uint8_t>> rom;      // an option ROM's bytes, when not the file's
    bool write_failed = false;                         // a work file could not be written
    bool refused = false;                              // "bios.rom" is the group's RomFile: not kept
};

// Packs `input` under the group's TypeId (or `type_id`, when given) and
// `name` (verbose; stored when `store`) and keeps the archive as "bios.rom".
Packed pack_for_group(const GroupRequest& group, std::span<const std::uint8_t> input, const std::string& name,
                      bool store, std::string_view type_id = {});
