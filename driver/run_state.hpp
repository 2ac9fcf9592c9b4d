// The state of one run, shared by every operation of the option loop.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/catalogue.hpp"

// How an operation ends: the driver goes on with the next option group, or
// goes straight to the end of the run.
enum class Outcome { NextGroup, EndOfRun };

struct RunState {
    std::vector<std::string> args;      // the argument vector, args[0] the program path
    std::string input_file;             // the InputFile
    bool err_mode = false;              // "/err" was given somewhere
    std::set<OptionCode> failed_kinds;  // kinds that failed (filled only in err_mode)
    std::size_t option_index = 0;       // index in args of the current group's switch
    int group_number = 0;               // digits after "/group" in the first switch
    bool no_reserve = false;            // "noreserve": no reserved colours for logos
    std::int32_t osb_x = 0, osb_y = 0;  // screen position of an OSB CPU bitmap
    bool osb_position_given = false;
    std::string rom_file;               // the RomFile of the current group (at most 63 characters)
    std::vector<std::uint8_t> rom_bytes;  // its content, read whole when the group starts
    OptionCode lone_code = 0;           // the group's code while its switch stands alone, else 0
    std::uint32_t isa_segment = 0;      // segment operand of /isa; 0 when none
    std::size_t group_words = 0;        // words of the group after its RomFile or "release"/"extract"
    // The failure mark the closing fix-ups read: set when the group's add
    // found no room, a release or extract found no member of its kind, an
    // operand was bad, the word was no switch, or /btvga met an image that is
    // not banked.
    bool group_failed = false;
    bool ncpu_requested = false;        // /NC_CPUCODE was selected
    OptionCode code = 0;                // the current group's code (after /ncr and /aha became /pci)
    std::string type_id = "7000:0";     // the current TypeId text: set by each group's kind, never reset
    std::uint16_t type_value = 0xFFFF;  // the current group's TypeId value
    std::bitset<kRomSlotFlags> rom_slot_used;  // ROM segments from 0x4080 the add walks have seen taken
    bool image_changed = false;         // an operation of the run changed the image
    int verify_problems = 0;            // what /verify found; the run then ends with status 1
    bool write_failed = false;          // a work file or a target could not be written: status 1
    bool run_failed = false;            // a failure of the run that names no kind (kept only under /err)
    // The words after "release" or "extract" that answer its prompts.
    std::optional<std::string> slot_word;    // "slot=X": the slot character X
    std::optional<std::string> target_word;  // "to=FILE": the extract's target

    // Records a failure of the group's kind (kept only under /err).
    void fail(OptionCode kind) {
        if (err_mode) failed_kinds.insert(kind);
    }
    // Records a failure of the run itself (kept only under /err).
    void fail_run() {
        if (err_mode) run_failed = true;
    }
};
