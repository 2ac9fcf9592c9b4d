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

#include "common/catalogue.hpp"
#include "image/chain.hpp"
#include "image/group.hpp"

struct BiosImage;

// "release" or "extract" after a switch: removes the kind's member (closing
// the gap) or writes it, expanded, to a file the user names. The words
// "slot=X" (group.slot_word) and "to=FILE" (group.target_word) answer the
// instance menu and the name prompt, so that nothing is read from standard
// input; a slot that is no slot of the kind, or that holds no member, fails
// the kind.
GroupResult release_or_extract(const GroupRequest& group, ImageWriter& image, bool extract);

// The two operations: "/kind release" and "/kind extract".
GroupResult release_group(const Operand& op);
GroupResult extract_group(const Operand& op);

// The slot index the answer character `ch` selects for option `c`: "1" to
// "6" (/vga: 0-5, /isa: 4-9), "A" to "Z" or "a" to "z" (/pci, /isa: 0-25).
// The index can lie past the family's slots (an ISA "Q" is 16); such an
// answer names no member of the family. Nothing for any other character
// (an invalid choice).
std::optional<int> slot_for_answer(OptionCode c, char ch);

// How the instance choice ended.
struct InstanceChoice {
    enum class Kind { Chosen, None, Invalid, EndOfInput } kind = Kind::None;
    int index = 0;       // the slot, for Chosen
    std::string answer;  // the line read, for Invalid
};

// Lists the members of the family of `c` from the chain start ("VGA ROM -
// - - [%c] : %s\n" and the like), takes a lone one without asking, and asks
// "Enter a choice:" when there are several. None: no member of the family.
// Chosen: the index slot_for_answer gives (possibly past the family's
// slots). Invalid: the answer is no slot character of the option.
// EndOfInput: standard input ended before an answer.
InstanceChoice choose_instance(const BiosImage& image, OptionCode c);

// The first member of a kind, and how the walk of the whole chain ended
// (a walk that ended damaged without the member found the damage first).
struct KindSearch {
    std::optional<ChainMember> member;
    ChainEnd end = ChainEnd::Erased;
    std::uint32_t end_position = 0;  // the walk's end_position
};

// Walks the image's chain (walk_image_chain) for the first member whose
// TypeId segment is `segment`.
KindSearch find_kind_member(const BiosImage& image, std::uint16_t segment);

// The longest answer to the name prompt: the longest path the platform accepts.
inline constexpr std::size_t kMaxTargetName = 4095;

// Extracted: `target` holds the expansion; CrcError: it does too, but its
// CRC is not the one the header records (said on the console channel);
// NoPicture: a picture kind's member holds no LogoImage, and `target` holds
// its bytes as they are (said on the console channel); Failed: nothing was
// extracted (an unknown method, data that ends early, too large; said);
// WriteFailed: the target could not be written.
enum class Extraction { Failed, WriteFailed, Extracted, CrcError, NoPicture };

// Expands the member and writes it to `target`, whole or not at all (the
// target as it was when it cannot be written); for a picture kind
// (`picture`) the Windows bitmap of its LogoImage. No work file is made.
// Fatal errors of the expansion ("Header sum error", ...) propagate.
// The file is written to work_file_path(folder, target).
Extraction extract_member(const BiosImage& image, const ChainMember& member, bool picture, const std::string& target,
                          const std::string& folder = {});
