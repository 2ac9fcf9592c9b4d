// Release (remove a kind's member from the image, closing the gap) and
// extract (write a kind's member back to a file, expanded): the pieces the
// operation release_or_extract (driver/operations.hpp) is made of.
//
// The option ROM kinds have several numbered slots, one TypeId segment each;
// the other kinds have one segment. The slots and the characters that name
// them in the instance list:
//   /vga  0x4080-0x4085  "1" to "6"
//   /pci  0x4086-0x409F  "A" to "Z"
//   /isa  0x40A0-0x40A3  "A" to "D",  0x40A4-0x40A7  "1" to "4"
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "driver/catalogue.hpp"
#include "image/chain.hpp"

struct BiosImage;

// The slots of a multi-instance kind.
struct SlotFamily {
    const char* label;           // "VGA", "PCI", "ISA"
    std::uint16_t base;          // segment of slot 0
    std::uint16_t count;         // number of slots
};

// The slot family of an option (after /ncr and /aha became /pci); nothing
// for the single-instance kinds.
std::optional<SlotFamily> slot_family(OptionCode c);

// The character that names slot `index` of the option `c` in the list and
// in the messages.
char slot_char(OptionCode c, int index);

// The slot index the answer character `ch` selects for option `c`: "1" to
// "6" (/vga: 0-5, /isa: 4-9), "A" to "Z" or "a" to "z" (/pci, /isa: 0-25).
// The index can lie past the family's slots (an ISA "Q" is 16); such an
// answer names no member of the family. Nothing for any other character
// (an invalid choice).
std::optional<int> slot_for_answer(OptionCode c, char ch);

// How the instance choice ended.
struct InstanceChoice {
    enum class Kind { Chosen, None, Invalid, EndOfInput } kind = Kind::None;
    int index = 0;  // the slot, for Chosen
};

// Lists the members of the family of `c` from the chain start ("VGA ROM -
// - - [%c] : %s\n" and the like), takes a lone one without asking, and asks
// "Enter a choice:" when there are several. None: no member of the family.
// Chosen: the index slot_for_answer gives (possibly past the family's
// slots). Invalid: the answer is no slot character of the option.
// EndOfInput: standard input ended before an answer.
InstanceChoice choose_instance(BiosImage& image, OptionCode c);

// Where the search for a kind's member ended.
struct KindSearch {
    enum class Kind {
        Found,      // `member` is the first member of the kind
        NotFound,   // the chain ended at erased space without one
        NoHeader,   // a position without a member header came first (`position`)
        PastFile,   // the member at `position` runs past the end of the file
    } kind = Kind::NotFound;
    ChainMember member;
    std::uint32_t position = 0;
};

// Walks the chain from the image's chain start (not bounded by the end of
// the compressed area, only by the file) for the first member whose TypeId
// segment is `segment`.
KindSearch find_kind_member(BiosImage& image, std::uint16_t segment);

// The stored name of the member at `position` (the name-length byte at +21,
// the name at +22) as the listing shows it: never past the header's H + 2
// bytes or the end of the file, and ending at a 0 byte.
std::string stored_name(BiosImage& image, std::uint32_t position);

// The longest answer to the name prompt: the longest path the platform accepts.
inline constexpr std::size_t kMaxTargetName = 4095;

// The work files of an extract.
inline constexpr const char* kMemberCopy = "FILE_BUF.BIN";
inline constexpr const char* kExpanded = "original.tmp";

// Copies the member found at `member.position` into "FILE_BUF.BIN" (for
// /isa with its type offset cleared and the header sum made to match),
// expands it into "original.tmp" and moves that to `target`, replacing a
// file of that name only once the expansion is complete. Returns false, with
// a message on the console channel and `target` as it was, when a work file
// cannot be written, the expansion gives nothing (an unknown method) or the
// target cannot be written. Fatal errors of the expansion propagate.
bool extract_member(BiosImage& image, const ChainMember& member, OptionCode c,
                    const std::string& target);
