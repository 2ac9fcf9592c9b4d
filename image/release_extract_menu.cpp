// The instance menu of the option ROM kinds and the search for a kind's
// member in the chain.
#include <array>

#include "archive/member_header.hpp"
#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/records.hpp"
#include "image/release_extract.hpp"

namespace {

// Only the first character of the answer counts; the rest of the line is dropped.
constexpr std::size_t kMaxChoiceLine = 255;

}  // namespace

std::optional<int> slot_for_answer(OptionCode c, char ch) {
    const SlotFamily* family = kind(c).family;
    if (!family) return std::nullopt;
    // Digits name the slots from digits_from on; letters the others, when
    // the family has any (not the VGA family).
    const bool digits = family->digits_from >= 0, letters = family->digits_from != 0;
    if (digits && ch >= '1' && ch <= '6') return ch - '1' + family->digits_from;
    if (letters && ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (letters && ch >= 'a' && ch <= 'z') return ch - 'a';
    return std::nullopt;  // an index may lie past the family's slots (an ISA "Q" is 16)
}

InstanceChoice choose_instance(const BiosImage& image, OptionCode c) {
    InstanceChoice choice;
    std::optional<SlotFamily> family = slot_family(c);
    if (!family) return choice;
    int listed = 0;
    for (const ChainMember& m : walk_image_chain(image).members) {
        const int index = type_segment(m.header) - family->base;
        if (index < 0 || index >= family->count) continue;
        console::outf("%s ROM - - - [%c] : %s\n", family->label, slot_char(c, index),
                      console::shown(listed_name(m.header)).c_str());
        ++listed;
        choice.index = index;
    }
    if (listed == 0) return choice;  // Kind::None
    if (listed == 1) {
        choice.kind = InstanceChoice::Kind::Chosen;
        return choice;
    }
    console::out("Enter a choice:");
    std::optional<std::string> answer = console::read_line(kMaxChoiceLine);
    if (!answer) {
        choice.kind = InstanceChoice::Kind::EndOfInput;
        return choice;
    }
    std::optional<int> index = answer->empty() ? std::nullopt : slot_for_answer(c, (*answer)[0]);
    if (!index) {
        choice.kind = InstanceChoice::Kind::Invalid;
        choice.answer = *answer;
        return choice;
    }
    choice.kind = InstanceChoice::Kind::Chosen;
    choice.index = *index;
    return choice;
}

KindSearch find_kind_member(const BiosImage& image, std::uint16_t segment) {
    const ChainWalk walk = walk_image_chain(image);
    KindSearch search{std::nullopt, walk.end, walk.end_position};
    for (const ChainMember& m : walk.members) {
        if (type_segment(m.header) != segment) continue;
        search.member = m;
        break;
    }
    return search;
}
