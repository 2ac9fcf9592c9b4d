// release_or_extract: the option group "/kind release" or "/kind extract".
// Chooses the instance (option ROM kinds), finds the kind's first member,
// then removes it closing the gap, or writes it expanded to a file.
#include "image/release_extract.hpp"

#include <filesystem>
#include <system_error>

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "image/records.hpp"

namespace {

// The name the "Can't found" message gives the kind: "GROUP3" for /group3,
// the short name otherwise.
std::string kind_label(const RunState& state) {
    if (state.code == code::group) return "GROUP" + std::to_string(state.group_number);
    return std::string(short_name(state.code));
}

// No member of the kind: the group's failure mark is set (the closing
// fix-ups read it), but the kind is no failed kind, even under /err.
void report_not_found(RunState& state) {
    console::outf("Can't found [%s] ROM...\n", kind_label(state).c_str());
    state.group_failed = true;
}

// A stored name used as the target must name a file in the current
// directory: the image is not trusted to choose where the tool writes.
bool plain_file_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The end of the space a release closes: the chain's space end (the top
// block's start, whatever the group's place in the run), or the "*BS1" free
// pointer when it lies between the chain's end and that. Nothing above it
// is ever moved or erased.
std::uint32_t gap_end(const BiosImage& image, std::uint32_t chain_end) {
    const std::uint32_t end = chain_space_end(image);
    if (image.bs1_present && image.free_pointer >= chain_end && image.free_pointer < end) return image.free_pointer;
    return end;
}

Outcome release(RunState& state, BiosImage& image, const ChainMember& member,
                const std::optional<SlotFamily>& family, int index) {
    const std::uint64_t span = member_span(member.header);
    const std::uint32_t end = gap_end(image, walk_image_chain(image).end_position);
    if (member.position + span > end) {
        console::conf("The [%s] ROM at %Xh runs past the compressed area's end (%Xh);\n"
                      "it is not released and the image is unchanged.\n",
                      kind_label(state).c_str(), member.position, end);
        state.fail(state.code);
        return Outcome::NextGroup;
    }
    {
        WriteScope scope(image, {chain_range(image)});
        remove_from_image(image, member.position, static_cast<std::uint32_t>(span), end);
    }
    state.image_changed = true;
    if (family)
        console::outf("[%s-%c] ROM is release\n", family->label, slot_char(state.code, index));
    else
        console::outf("[%s] ROM is release\n", std::string(short_name(state.code)).c_str());
    return Outcome::NextGroup;
}

Outcome extract(RunState& state, BiosImage& image, const ChainMember& member,
                const std::optional<SlotFamily>& family, int index) {
    const std::string name = stored_name(image, member.position);
    std::string target;
    if (state.target_word) {
        target = *state.target_word;  // "to=FILE": no prompt
    } else {
        console::outf("Enter an extract file Name :(%s) ", name.c_str());
        // The end of input ends the answer; one character more than the bound
        // tells a name that is too long from one that just fits.
        target = console::read_line(kMaxTargetName + 1).value_or("");
    }
    if (target.size() > kMaxTargetName) {
        console::conf("\nThe file name is longer than %zu characters; nothing was extracted.\n",
                      kMaxTargetName);
        state.fail(state.code);
        return Outcome::NextGroup;
    }
    if (target.empty()) {
        if (!plain_file_name(name)) {
            console::conf("\nThe stored name \"%s\" is no file name of the current directory;\n"
                          "type a name. Nothing was extracted.\n", name.c_str());
            state.fail(state.code);
            return Outcome::NextGroup;
        }
        target = name;
    }
    // The image being patched is never replaced by one of its components.
    std::error_code ec;
    if (std::filesystem::equivalent(target, state.input_file, ec)) {
        console::conf("%s is the image being worked on; nothing was extracted.\n", target.c_str());
        state.fail(state.code);
        return Outcome::NextGroup;
    }
    const bool picture = state.code == code::logo || state.code == code::epa;
    const Extraction done = extract_member(image, member, picture, target);
    if (done == Extraction::Failed || done == Extraction::WriteFailed) {
        state.fail(state.code);
        if (done == Extraction::WriteFailed) state.write_failed = true;
        return Outcome::NextGroup;
    }
    // The bytes are there, but damaged, or not the picture the kind holds.
    if (done == Extraction::CrcError || done == Extraction::NoPicture) state.fail(state.code);
    if (family)
        console::outf("[%s-%c] ROM is extracted to %s\n", family->label, slot_char(state.code, index),
                      target.c_str());
    else
        console::outf("[%s] ROM is extracted to %s", std::string(short_name(state.code)).c_str(),
                      target.c_str());
    return Outcome::NextGroup;
}

}  // namespace

// The slot "slot=X" names, for a kind with slots; nothing (said, and the
// kind failed) when X is no slot character of the kind.
std::optional<int> slot_of_word(RunState& state, const SlotFamily& family) {
    const std::string& word = *state.slot_word;
    std::optional<int> index = word.size() == 1 ? slot_for_answer(state.code, word[0]) : std::nullopt;
    if (!index || *index >= family.count) {
        console::conf("slot=%s names no slot of %s; the image is unchanged.\n", word.c_str(),
                      std::string(kind(state.code).switch_text).c_str());
        state.fail(state.code);
        return std::nullopt;
    }
    return index;
}

Outcome release_or_extract(RunState& state, BiosImage& image, bool extract_it) {
    const std::optional<SlotFamily> family = slot_family(state.code);
    const std::string switch_text(kind(state.code).switch_text);
    if (state.target_word && !extract_it) {
        console::conf("to=%s goes with extract; nothing is released.\n", state.target_word->c_str());
        state.fail(state.code);
        return Outcome::NextGroup;
    }
    if (state.slot_word && !family) {
        console::conf("%s has no slots: slot=%s names nothing; the image is unchanged.\n", switch_text.c_str(),
                      state.slot_word->c_str());
        state.fail(state.code);
        return Outcome::NextGroup;
    }
    std::uint16_t segment = state.type_value;
    int index = 0;
    if (family && state.slot_word) {
        const std::optional<int> chosen = slot_of_word(state, *family);
        if (!chosen) return Outcome::NextGroup;
        index = *chosen;
        segment = static_cast<std::uint16_t>(family->base + index);
    } else if (family) {
        InstanceChoice choice = choose_instance(image, state.code);
        switch (choice.kind) {
        case InstanceChoice::Kind::Invalid:
            console::conf("\nThe answer \"%s\" names no slot of %s: the run ends here.\n", choice.answer.c_str(),
                          switch_text.c_str());
            state.fail(state.code);
            return Outcome::EndOfRun;
        case InstanceChoice::Kind::EndOfInput:
            console::con("\nNo choice was read: standard input has ended. The image is unchanged.\n");
            state.fail(state.code);
            return Outcome::EndOfRun;
        case InstanceChoice::Kind::Chosen:
            // An answer past the family's slots would name a segment of
            // another kind (an ISA "Q" is 0x40B0, a setup module): no ROM
            // of this family is there.
            if (choice.index >= family->count) {
                report_not_found(state);
                return Outcome::NextGroup;
            }
            index = choice.index;
            break;
        case InstanceChoice::Kind::None:
            break;
        }
        segment = static_cast<std::uint16_t>(family->base + index);
    } else if (segment == 0xFFFF) {
        report_not_found(state);  // a switch without a TypeId names no member
        return Outcome::NextGroup;
    }

    const KindSearch search = find_kind_member(image, segment);
    switch (search.kind) {
    case KindSearch::Kind::NotFound:
        report_not_found(state);
        // A slot named on the command line that holds nothing is a mistake of the script.
        if (state.slot_word) state.fail(state.code);
        return Outcome::NextGroup;
    case KindSearch::Kind::NoHeader:
        console::conf("No component header at %Xh, no [%s] ROM before it;\n"
                      "the image is unchanged.\n", search.position, kind_label(state).c_str());
        return Outcome::NextGroup;
    case KindSearch::Kind::PastFile:
        console::conf("The component at %Xh runs past the end of %s;\nthe image is unchanged.\n",
                      search.position, state.input_file.c_str());
        state.fail(state.code);
        return Outcome::NextGroup;
    case KindSearch::Kind::Found:
        break;
    }
    return extract_it ? extract(state, image, search.member, family, index)
                      : release(state, image, search.member, family, index);
}
