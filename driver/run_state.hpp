// The state of one run: the group under way and the books the driver
// keeps from what each operation returns (the command line is apart from
// it, parsed before the run: driver/command_line).
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "common/catalogue.hpp"
#include "image/group.hpp"

struct RunState {
    bool err_mode = false;    // "/err" was given somewhere: failures are kept
    std::string work_folder;  // where the run's files go (a dry run's private folder)

    // The group under way: its kind, TypeId (never reset between groups),
    // RomFile and words, as the operations see them.
    GroupRequest group;
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
