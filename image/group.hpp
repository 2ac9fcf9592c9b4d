// One option group as an operation sees it, and what the operation did. The
// driver fills the request from the command line and keeps the books from
// the result: the failed kinds, the exit status and whether the fix-ups run.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/catalogue.hpp"
#include "picture/logo.hpp"

// How an operation ends: the driver goes on with the next option group, or
// goes straight to the end of the run.
enum class Outcome { NextGroup, EndOfRun };

// The option ROM segments the add walks have seen taken, for the whole run.
using RomSlots = std::bitset<kRomSlotFlags>;

struct GroupRequest {
    OptionCode code = 0;                        // the kind (/ncr and /aha as /pci)
    std::string type_id = "7000:0";             // the TypeId text its member gets
    std::uint16_t type_value = 0xFFFF;          // and its segment
    std::string rom_file;                       // the RomFile; empty for a lone switch
    std::string stored_name;                    // "name=NAME" after it: the member's stored name; empty: the RomFile
    std::vector<std::uint8_t> rom_bytes;        // its content, read whole
    std::uint32_t isa_segment = 0;              // /isa's address operand; 0 when none
    int group_number = 0;                       // /group's number
    bool no_reserve = false;                    // logos keep their palette ("noreserve")
    std::optional<OsbPosition> osb_position;    // an OSB CPU bitmap's screen position
    std::optional<std::string> slot_word;       // "slot=X" after release, extract or the RomFile
    std::optional<std::uint16_t> slot_segment;  // the slot an add is pinned to, as its segment (/pack's lines)
    std::optional<std::string> target_word;     // "to=FILE" after extract
    std::string work_folder;                    // where files the run writes go; empty: where they are named
    bool json = false;                          // /json: a report goes out as one JSON document
    bool best = false;                          // /best: members packed by the near-optimal encoder

    const ComponentKind& row() const { return kind(code); }
    // The name a member packed from the RomFile is stored under.
    const std::string& member_name() const { return stored_name.empty() ? rom_file : stored_name; }
};

struct GroupResult {
    Outcome next = Outcome::NextGroup;
    std::optional<OptionCode> failed;  // the kind that failed: the group's, or /vga or /isa for their slot rules
    bool changed = false;              // the image changed
    bool fixup_mark = false;           // no room, or no member of the kind: the fix-ups read it
    bool write_failed = false;         // a work file or a target could not be written
    int problems = 0;                  // what /verify or /json found wrong: the run ends with status 1
    bool unreadable = false;           // a second image (/diff) could not be read: status 2
    int damaged = 0;                   // members whose data fails its CRC (/unpack): status 1 under /err
};

class ImageWriter;

// What every operation gets: its group, the image (read through the
// writer, changed only through it) and the ROM slots the run's add walks
// have seen taken. Every operation is a GroupResult (*)(const Operand&).
struct Operand {
    const GroupRequest& group;
    ImageWriter& image;
    RomSlots& slots;
};
using OperationFn = GroupResult (*)(const Operand&);

// The group's kind `kind` failed; the run goes on as `next`.
inline GroupResult kind_failed(OptionCode kind, Outcome next = Outcome::NextGroup) {
    GroupResult r;
    r.failed = kind;
    r.next = next;
    return r;
}

// The image changed.
inline GroupResult image_changed() {
    GroupResult r;
    r.changed = true;
    return r;
}
