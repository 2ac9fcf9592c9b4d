// Release (remove a kind's member from the image, closing the gap) and
// extract (write a kind's member back to a file, expanded): the option
// group "/kind release" or "/kind extract" and the pieces it is made of.
//
// The option ROM kinds have several numbered slots, one TypeId segment each
// (the slot families of the catalogue); the other kinds have one segment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "driver/catalogue.hpp"
#include "driver/run_state.hpp"
#include "image/chain.hpp"

struct BiosImage;

// "release" or "extract" after a switch: removes the kind's member (closing
// the gap) or writes it, expanded, to a file the user names.
Outcome release_or_extract(RunState& state, BiosImage& image, bool extract);

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

// Copies the member found at `member.position` into "FILE_BUF.BIN" (for
// /isa with its type offset cleared and the header sum made to match),
// expands it into "original.tmp" and moves that to `target`, replacing a
// file of that name only once the expansion is complete. Returns false, with
// a message on the console channel and `target` as it was, when a work file
// cannot be written, the expansion gives nothing (an unknown method) or the
// target cannot be written. Fatal errors of the expansion propagate.
// Moves "original.tmp" to `target`: a rename, or across file systems a copy
// written beside the target first, so that the target is never left
// half-written. False when that fails ("original.tmp" then stays).
bool move_expansion(const std::string& target);

// Extracted: `target` holds the expansion; CrcError: it does too, but its
// CRC is not the one the header records (said on the console channel);
// WriteFailed: a work file or the target could not be written.
enum class Extraction { Failed, WriteFailed, Extracted, CrcError };
Extraction extract_member(BiosImage& image, const ChainMember& member, OptionCode c, const std::string& target);
