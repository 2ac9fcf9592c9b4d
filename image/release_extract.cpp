// release_or_extract: the option group "/kind release" or "/kind extract".
// Chooses the instance (option ROM kinds), finds the kind's first member,
// then removes it closing the gap, or writes it expanded to a file.
#include "image/release_extract.hpp"

#include <filesystem>
#include <system_error>

#include "common/console.hpp"
#include "common/platform.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "image/records.hpp"

namespace {

// The name the "Can't found" message gives the kind: "GROUP3" for /group3,
// the short name otherwise.
std::string kind_label(const GroupRequest& group) {
    if (group.row().type_source == TypeSource::GroupNumber) return "GROUP" + std::to_string(group.group_number);
    return std::string(short_name(group.code));
}

// No member of the kind: the group's mark is set (the closing fix-ups read
// it), but the kind fails only when the script named the slot itself.
GroupResult not_found(const GroupRequest& group) {
    console::outf("Can't found [%s] ROM...\n", kind_label(group).c_str());
    GroupResult r;
    if (group.slot_word) r.failed = group.code;
    r.fixup_mark = true;
    return r;
}

// A stored name used as the target must name a file in the current
// directory: the image is not trusted to choose where the tool writes.
bool plain_file_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(platform::kFolderSeparators) == std::string::npos;
}

// The end of the space a release closes: the chain's space end (the top
// block's start, whatever the group's place in the run), or the "*BS1" free
// pointer when it lies between the chain's end and that. Nothing above it
// is ever moved or erased.
std::uint32_t gap_end(const BiosImage& image, std::uint32_t chain_end) {
    const std::uint32_t end = chain_space_end(image);
    const std::optional<std::uint32_t> pointer = free_pointer_to_write(image);
    if (pointer && *pointer >= chain_end && *pointer < end) return *pointer;
    return end;
}

// The "[VGA-2]" or "[HPM]" of the result messages.
std::string result_label(const GroupRequest& group, int index) {
    // Appended piece by piece: GCC 12 warns (-Wrestrict, falsely) on a chain of operator+.
    const SlotFamily* family = group.row().family;
    std::string label = "[";
    label += family ? std::string_view(family->label) : std::string_view(short_name(group.code));
    if (family) {
        label += '-';
        label += slot_char(*family, index);
    }
    label += ']';
    return label;
}

GroupResult release(const GroupRequest& group, ImageWriter& writer, const KindSearch& search, int index) {
    const BiosImage& image = writer.image();
    // Closing the gap would move bytes that are no members as if they were.
    if (chain_damaged(search.end)) {
        console::conf("Damaged component chain at %Xh: nothing released\n", search.end_position);
        return kind_failed(group.code);
    }
    const ChainMember& member = *search.member;
    const std::uint64_t span = member_span(member.header);
    const std::uint32_t end = gap_end(image, search.end_position);
    if (member.position + span > end) {
        console::conf(
            "The [%s] ROM at %Xh runs past the compressed area's end (%Xh);\n"
            "it is not released and the image is unchanged.\n",
            kind_label(group).c_str(), member.position, end);
        return kind_failed(group.code);
    }
    {
        WriteScope scope(writer, {Region::Chain});
        scope.remove(member.position, static_cast<std::uint32_t>(span), end);
    }
    console::outf("%s ROM is release\n", result_label(group, index).c_str());
    return image_changed();
}

// The file an extract writes: "to=FILE", or the answer to the prompt, or
// the stored name. Nothing (said) when it cannot be used.
std::optional<std::string> choose_target(const GroupRequest& group, const BiosImage& image, const std::string& name) {
    std::string target;
    if (group.target_word) {
        target = *group.target_word;  // "to=FILE": no prompt
    } else {
        console::outf("Enter an extract file Name :(%s) ", console::shown(name).c_str());
        // One character more than the bound tells a name that is too long
        // from one that just fits. The end of input before any character
        // is no answer: taken as an empty one, it would write the stored
        // name over a file of that name.
        const std::optional<std::string> answer = console::read_line(kMaxTargetName + 1);
        if (!answer) {
            console::con("\nnothing was read; nothing extracted.\n");
            return std::nullopt;
        }
        target = *answer;
    }
    if (target.size() > kMaxTargetName) {
        console::conf("\nThe file name is longer than %zu characters; nothing was extracted.\n", kMaxTargetName);
        return std::nullopt;
    }
    if (target.empty() && !plain_file_name(name)) {
        console::conf(
            "\nThe stored name \"%s\" is no file name of the current directory;\n"
            "type a name. Nothing was extracted.\n",
            name.c_str());
        return std::nullopt;
    }
    if (target.empty()) target = name;
    // The image being patched is never replaced by one of its components.
    std::error_code ec;
    if (std::filesystem::equivalent(target, image.path, ec)) {
        console::conf("%s is the image being worked on; nothing was extracted.\n", target.c_str());
        return std::nullopt;
    }
    return target;
}

GroupResult extract(const GroupRequest& group, const BiosImage& image, const ChainMember& member, int index) {
    const std::optional<std::string> target = choose_target(group, image, std::string(listed_name(member.header)));
    if (!target) return kind_failed(group.code);
    const Extraction done = extract_member(image, member, group.row().extracts_picture, *target, group.work_folder);
    GroupResult r;
    // Damaged bytes, or not the picture the kind holds: written, but the kind fails.
    if (done != Extraction::Extracted) r.failed = group.code;
    if (done == Extraction::WriteFailed) r.write_failed = true;
    if (done == Extraction::Failed || done == Extraction::WriteFailed) return r;
    if (group.row().family)
        console::outf("%s ROM is extracted to %s\n", result_label(group, index).c_str(),
                      console::shown(*target).c_str());
    else
        console::outf("%s ROM is extracted to %s", result_label(group, index).c_str(), console::shown(*target).c_str());
    return r;
}

// A slot, or how the group ended without one.
struct SlotChoice {
    std::optional<int> index;
    GroupResult ended;
};

// The slot "slot=X" names; a character that is no slot of the kind fails it.
SlotChoice slot_from_word(const GroupRequest& group, const SlotFamily& family) {
    const std::string& word = *group.slot_word;
    std::optional<int> index = word.size() == 1 ? slot_for_answer(group.code, word[0]) : std::nullopt;
    if (!index || *index >= family.count) {
        console::conf("slot=%s names no slot of %s; the image is unchanged.\n", word.c_str(),
                      std::string(group.row().switch_text).c_str());
        return {std::nullopt, kind_failed(group.code)};
    }
    return {index, {}};
}

// The slot the instance menu gives: the lone instance, or the answer.
SlotChoice slot_from_menu(const GroupRequest& group, const BiosImage& image, const SlotFamily& family) {
    const InstanceChoice choice = choose_instance(image, group.code);
    switch (choice.kind) {
    case InstanceChoice::Kind::Invalid:
        console::conf("\nThe answer \"%s\" names no slot of %s: the run ends here.\n", choice.answer.c_str(),
                      std::string(group.row().switch_text).c_str());
        return {std::nullopt, kind_failed(group.code, Outcome::EndOfRun)};
    case InstanceChoice::Kind::EndOfInput:
        console::con("\nNo choice was read: standard input has ended. The image is unchanged.\n");
        return {std::nullopt, kind_failed(group.code, Outcome::EndOfRun)};
    case InstanceChoice::Kind::Chosen:
        // An answer past the family's slots would name a segment of another
        // kind (an ISA "Q" is 0x40B0, a setup module): no ROM of the family.
        if (choice.index >= family.count) return {std::nullopt, not_found(group)};
        return {choice.index, {}};
    case InstanceChoice::Kind::None: break;
    }
    return {0, {}};
}

// The words after "release" or "extract" that do not fit the group.
std::optional<GroupResult> misplaced_words(const GroupRequest& group, bool extract_it) {
    if (group.target_word && !extract_it) {
        console::conf("to=%s goes with extract; nothing is released.\n", group.target_word->c_str());
        return kind_failed(group.code);
    }
    if (group.slot_word && !group.row().family) {
        console::conf("%s has no slots: slot=%s names nothing; the image is unchanged.\n",
                      std::string(group.row().switch_text).c_str(), group.slot_word->c_str());
        return kind_failed(group.code);
    }
    return std::nullopt;
}

// A search that ended without the member.
GroupResult search_failed(const GroupRequest& group, const BiosImage& image, const KindSearch& search) {
    if (search.end == ChainEnd::NoMember) {
        console::conf("No component header at %Xh, no [%s] ROM before it;\nthe image is unchanged.\n",
                      search.end_position, kind_label(group).c_str());
        return {};
    }
    if (search.end == ChainEnd::FileEnd) {
        console::conf("The component at %Xh runs past the end of %s;\nthe image is unchanged.\n", search.end_position,
                      image.path.c_str());
        return kind_failed(group.code);
    }
    return not_found(group);
}

}  // namespace

GroupResult release_or_extract(const GroupRequest& group, ImageWriter& writer, bool extract_it) {
    const BiosImage& image = writer.image();
    if (std::optional<GroupResult> refused = misplaced_words(group, extract_it)) return *refused;
    const SlotFamily* family = group.row().family;
    std::uint16_t segment = group.type_value;
    int index = 0;
    if (family) {
        const SlotChoice choice =
            group.slot_word ? slot_from_word(group, *family) : slot_from_menu(group, image, *family);
        if (!choice.index) return choice.ended;
        index = *choice.index;
        segment = static_cast<std::uint16_t>(family->base + index);
    } else if (segment == 0xFFFF) {
        return not_found(group);  // a switch without a TypeId names no member
    }
    const KindSearch search = find_kind_member(image, segment);
    if (!search.member) return search_failed(group, image, search);
    return extract_it ? extract(group, image, *search.member, index) : release(group, writer, search, index);
}

GroupResult release_group(const Operand& op) {
    return release_or_extract(op.group, op.image, false);
}

GroupResult extract_group(const Operand& op) {
    return release_or_extract(op.group, op.image, true);
}
