// The command line parsed: its form, where the InputFile comes from, the
// settings read from the whole line, and the words of each group.
#include "driver/command_line.hpp"

#include <strings.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/command_words.hpp"

namespace {

bool starts_nocase(std::string_view text, std::string_view key);

constexpr int kMaxGroupDigits = 4;  // more digits than any group needs; keeps the number bounded

// Switches that may stand alone as the only option of a command line.
bool may_stand_alone(OptionCode c) {
    return kind(c).lone == LoneUse::Always;
}

// "/groupN" at args[at]: N becomes the group number and the argument the bare switch.
void apply_group_prefix(Command& state, std::size_t at) {
    std::string& arg = state.args[at];
    if (arg.size() < 6 || strncasecmp(arg.data(), "/group", 6) != 0) return;
    int number = 0, digits = 0;
    for (std::size_t i = 6; i < arg.size() && arg[i] >= '0' && arg[i] <= '9'; ++i) {
        if (digits < kMaxGroupDigits) number = number * 10 + (arg[i] - '0');
        ++digits;
    }
    state.group_number = digits > kMaxGroupDigits ? 9999 : number;
    arg = "/group";
}

std::int32_t decimal(const std::string& text) {
    return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

bool starts_nocase(std::string_view text, std::string_view key) {
    return text.size() >= key.size() && equals_nocase(text.substr(0, key.size()), key);
}

// The words of the whole command line: /err, /best, /dry, /json and
// out=NEW ("/dry", and with it "/json", and "out=" may stand anywhere: they
// say how the run goes and what it reports, and are no groups, so they are
// taken out).
void read_run_words(Command& c) {
    for (std::size_t i = 1; i < c.args.size(); ++i) {
        c.err_mode = c.err_mode || equals_nocase(c.args[i], word::err);
        c.dry = c.dry || equals_nocase(c.args[i], word::dry);
        c.json = c.json || equals_nocase(c.args[i], word::json);
        c.best = c.best || equals_nocase(c.args[i], word::best);
    }
    // out=NEW after the first word (the InputFile, or the `_last` form's
    // switch); the last one counts.
    const auto is_out = [](const std::string& w) { return starts_nocase(w, word::out); };
    const auto from = c.args.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(2, c.args.size()));
    for (auto i = from; i != c.args.end(); ++i)
        if (is_out(*i)) c.out_file = i->substr(word::out.size());
    c.args.erase(std::remove_if(from, c.args.end(), is_out), c.args.end());
    if (c.dry)
        c.args.erase(std::remove_if(c.args.begin() + 1, c.args.end(),
                                    [](const std::string& w) {
                                        return equals_nocase(w, word::dry) || equals_nocase(w, word::json);
                                    }),
                     c.args.end());
}

FolderCommand folder_command(const std::vector<std::string>& a) {
    if (a.size() < 4) return FolderCommand::None;
    for (std::size_t i = 4; i < a.size(); ++i)
        if (!equals_nocase(a[i], word::err) && !equals_nocase(a[i], word::json) && !equals_nocase(a[i], word::best))
            return FolderCommand::None;
    if (equals_nocase(a[2], word::unpack)) return FolderCommand::Unpack;
    if (equals_nocase(a[2], word::pack)) return FolderCommand::Pack;
    if (equals_nocase(a[2], word::diff)) return FolderCommand::Diff;
    return FolderCommand::None;
}

// The words "slot=X" and "to=FILE" from `at`: they answer the prompts of
// release and extract, so that nothing is read from standard input.
std::size_t read_answer_words(const std::vector<std::string>& args, std::size_t at, CommandGroup& g) {
    std::size_t words = 0;
    for (; at < args.size(); ++at, ++words) {
        if (starts_nocase(args[at], word::slot))
            g.slot = args[at].substr(word::slot.size());
        else if (starts_nocase(args[at], word::to))
            g.to = args[at].substr(word::to.size());
        else
            break;
    }
    return words;
}

// The row the group runs as (/ncr and /aha as /pci).
const ComponentKind& group_row(const CommandGroup& g) {
    const ComponentKind& row = kind(g.code);
    return row.becomes != 0 ? kind(row.becomes) : row;
}

// The RomFile form's words after the switch at `at`: the file, /isa's
// address operand (any word that is no switch), "name=NAME", and the OSB
// screen position of the `_last` form. How many words follow the file.
std::size_t read_rom_words(const Command& c, std::size_t at, CommandGroup& g) {
    const std::vector<std::string>& args = c.args;
    g.form = GroupForm::RomFile;
    g.rom_file = args[at + 1];
    std::size_t next = at + 2, words = 0;
    if (!group_row(g).type_id_without_operand.empty() && next < args.size() && !args[next].starts_with('/') &&
        !starts_nocase(args[next], word::name)) {
        g.address = args[next++];
        words = 1;
    }
    if (c.osb_position_given && at == 1) words = 2;
    // "name=NAME" and "slot=X", each once, in either order.
    for (; next < args.size(); ++next, ++words) {
        if (!g.name && starts_nocase(args[next], word::name))
            g.name = args[next].substr(word::name.size());
        else if (!g.slot && starts_nocase(args[next], word::slot))
            g.slot = args[next].substr(word::slot.size());
        else
            break;
    }
    return words;
}

}  // namespace

std::vector<CommandGroup> parse_groups(const Command& c) {
    const std::vector<std::string>& args = c.args;
    std::vector<CommandGroup> groups;
    std::size_t i = c.option_index;
    for (;;) {
        while (i < args.size() && is_command_word(args[i])) ++i;
        if (i >= args.size()) break;
        CommandGroup& g = groups.emplace_back();
        g.at = i;
        g.code = lookup_option(args[i]);
        const ComponentKind& row = kind(g.code);
        if (row.operation == Operation::None) break;  // no switch: the run ends there
        std::size_t at = i;                           // the word the group's form is read after
        if (row.type_source == TypeSource::Operand) {
            if (++at >= args.size()) break;
            g.type_operand = args[at];
        }
        const std::size_t next = at + 1;
        // A report takes no file: a word after it is left to start the next
        // group (where a word that is no switch ends the run).
        if (next >= args.size() || lookup_option(args[next]) != 0 || is_command_word(args[next]) ||
            is_image_report(group_row(g))) {
            i = at + 1;
        } else if (equals_nocase(args[next], word::release) || equals_nocase(args[next], word::extract)) {
            g.form = equals_nocase(args[next], word::extract) ? GroupForm::Extract : GroupForm::Release;
            i = at + 2 + read_answer_words(args, at + 2, g);
        } else {
            i = at + 2 + read_rom_words(c, at, g);
        }
    }
    return groups;
}

Command parse_command(std::vector<std::string> args, const char* last_variable) {
    Command c;
    c.args = std::move(args);
    if (c.args.empty()) c.args.emplace_back("mozaik32");
    read_run_words(c);
    c.folder = folder_command(c.args);
    if (c.folder != FolderCommand::None) {
        c.form = Form::Explicit;
        c.input_file = c.args[1];
        c.option_index = 2;
        return c;
    }
    c.form = choose_form(c, last_variable);
    if (c.form == Form::Explicit || c.form == Form::Last) c.groups = parse_groups(c);
    // out= naming the InputFile itself is a run in place.
    std::error_code ec;
    if (c.out_file && !c.out_file->empty() && std::filesystem::equivalent(*c.out_file, c.input_file, ec))
        c.out_file.reset();
    return c;
}

bool only_reads(const Command& c) {
    if (c.dry || c.folder != FolderCommand::None || c.out_file) return true;
    return std::ranges::none_of(c.groups, [](const CommandGroup& g) {
        return g.code == 0 || operation(action_of(group_row(g), g.form)).changes_image;
    });
}

bool equals_nocase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), b.size()) == 0;
}

bool is_command_word(std::string_view w) {
    return equals_nocase(w, word::err) || equals_nocase(w, word::best) || equals_nocase(w, word::noreserve);
}

Form choose_form(Command& state, const char* last_variable) {
    const std::size_t n = state.args.size() - 1;  // arguments after the program name
    if (n < 1) return Form::Usage;
    apply_group_prefix(state, 1);
    OptionCode c = lookup_option(state.args[1]);
    if (kind(c).reads_noreserve) {
        for (std::size_t i = 1; i <= n; ++i)
            if (equals_nocase(state.args[i], word::noreserve)) state.no_reserve = true;
    }
    // The screen position: exactly two words after the file and nothing
    // else, "/err" neither (that is read as a group that ends the run).
    if (kind(c).picture == Picture::OsbWithPosition && n == 4) {
        state.osb_x = decimal(state.args[3]);
        state.osb_y = decimal(state.args[4]);
        state.osb_position_given = true;
    }
    if (n < 2 && kind(c).lone == LoneUse::Never) c = 0;
    if (c != 0) {
        if (!last_variable) return Form::NoLastVariable;
        state.input_file = std::string(last_variable) + ".bin";
        state.option_index = 1;
    } else if (n >= 2) {
        state.input_file = state.args[1];
        state.option_index = 2;
        // "/err" and "noreserve" before the first switch are passed over
        // there too, as the option loop passes them over.
        while (state.option_index < n && is_command_word(state.args[state.option_index])) ++state.option_index;
        apply_group_prefix(state, state.option_index);
        c = lookup_option(state.args[state.option_index]);
        if (n < 3 && !may_stand_alone(c)) c = 0;
    }
    // /D, /verify and /json as the first option must be the last argument,
    // but for "/err", which a build script adds to every call.
    if (is_image_report(kind(c)))
        for (std::size_t i = state.option_index + 1; i < state.args.size(); ++i)
            if (!equals_nocase(state.args[i], word::err)) c = 0;
    return c == 0 ? Form::Usage : (state.option_index == 1 ? Form::Last : Form::Explicit);
}
