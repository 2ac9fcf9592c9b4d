// The state of one run: the command line, the group under way and the
// books the driver keeps from what each operation returns.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "common/catalogue.hpp"
#include "image/group.hpp"

struct RunState {
    std::vector<std::string> args;      // the argument vector, args[0] the program path
    std::string input_file;             // the InputFile
    bool err_mode = false;              // "/err" was given somewhere
    bool dry = false;                   // "/dry": nothing is written, what would change is reported
    bool json = false;                  // "/json": standard output carries one JSON document only
    bool best = false;                  // "/best": members are packed by the near-optimal encoder
    std::string work_folder;            // where the run's files go (a dry run's private folder)
    std::size_t option_index = 0;       // index in args of the current group's switch
    int group_number = 0;               // digits after "/group" in the first switch
    bool no_reserve = false;            // "noreserve": no reserved colours for logos
    std::int32_t osb_x = 0, osb_y = 0;  // screen position of an OSB CPU bitmap
    bool osb_position_given = false;

    // The group under way: its kind, TypeId (never reset between groups),
    // RomFile and words, as the operations see them.
    GroupRequest group;
    OptionCode lone_code = 0;           // the group's code while its switch stands alone, else 0
    std::size_t group_words = 0;        // words of the group after its RomFile or "release"/"extract"
    // The failure mark the closing fix-ups read: set when the group's add
    // found no room, a release or extract found no member of its kind, an
    // operand was bad or the word was no switch.
    bool group_failed = false;

    // The books.
    std::set<OptionCode> failed_kinds;  // kinds that failed (filled only in err_mode)
    bool run_failed = false;            // a failure of the run that names no kind (kept only under /err)
    bool ncpu_requested = false;        // /NC_CPUCODE was selected
    RomSlots rom_slots;                 // ROM segments from 0x4080 the add walks have seen taken
    bool image_changed = false;         // an operation of the run changed the image
    int verify_problems = 0;            // what /verify found; the run then ends with status 1
    bool write_failed = false;          // a work file or a target could not be written: status 1

    // Records a failure of the group's kind (kept only under /err).
    void fail(OptionCode kind) {
        if (err_mode) failed_kinds.insert(kind);
    }
    // Records a failure of the run itself (kept only under /err).
    void fail_run() {
        if (err_mode) run_failed = true;
    }
    // Keeps the books of what an operation did.
    void account(const GroupResult& r) {
        if (r.failed) fail(*r.failed);
        image_changed = image_changed || r.changed;
        group_failed = group_failed || r.fixup_mark;
        write_failed = write_failed || r.write_failed;
        verify_problems += r.problems;
    }
};
