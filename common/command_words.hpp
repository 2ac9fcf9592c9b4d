// The words of the command line that the usage screen does not show: where
// each may stand, its operand and its line on the --help screen. The --help
// screen and the shell completions (tools/completions.cpp) read this one
// table, so a new word is one row here (its meaning is the driver's).
#pragma once

#include <array>
#include <string_view>

// The words, as the command line compares them (without regard to case)
// and the table below lists them.
namespace word {
inline constexpr std::string_view verify = "/verify", json = "/json", dry = "/dry", other = "/other";
inline constexpr std::string_view unpack = "/unpack", pack = "/pack", diff = "/diff";
inline constexpr std::string_view name = "name=", slot = "slot=", to = "to=", out = "out=";
inline constexpr std::string_view err = "/err", best = "/best", noreserve = "noreserve";
inline constexpr std::string_view version = "--version", help = "--help";
// The forms of a group that are no file.
inline constexpr std::string_view release = "release", extract = "extract";
}  // namespace word

// Where a word may stand, as the completions offer it.
enum class WordPlace : unsigned char {
    Switch,      // a switch of the catalogue that starts a group (/verify, /json, /other)
    Anywhere,    // anywhere after the InputFile, and no group (/err, noreserve, /dry)
    Image,       // right after the InputFile, alone; its operand is a file or a folder (/unpack DIR)
    NameAnswer,  // right after a RomFile; its value is the member's stored name
    SlotAnswer,  // after release or extract of a kind with slots; its value is a slot character
    FileAnswer,  // after extract; its value is a file name
    Alone,       // the only argument (--help, --version)
};

struct CommandWord {
    std::string_view word;     // as typed, without its operand ("slot=")
    std::string_view operand;  // what follows it, "" for none ("X", "TypeId")
    WordPlace place;
    std::string_view help;  // its line on the --help screen
};

inline constexpr std::array<CommandWord, 16> kCommandWords = {{
    {word::verify, "", WordPlace::Switch, "checks members, chain and sums; changes nothing"},
    {word::json, "", WordPlace::Switch, "the image as one JSON document on standard output"},
    {word::dry, "", WordPlace::Anywhere, "anywhere: reports what the run would change"},
    {word::other, "TypeId", WordPlace::Switch, "adds RomFile under a TypeId of your own: D000:0"},
    {word::unpack, "DIR", WordPlace::Image, "components, manifest and image into DIR"},
    {word::pack, "DIR", WordPlace::Image, "writes the InputFile from a folder /unpack made"},
    {word::diff, "OTHER", WordPlace::Image, "compares with OTHER; status 0 same, 1 not, 2 unread"},
    {word::name, "NAME", WordPlace::NameAnswer, "after a RomFile: stores NAME, not the path"},
    {word::slot, "X", WordPlace::SlotAnswer, "after Release, Extract or a RomFile: slot X"},
    {word::to, "FILE", WordPlace::FileAnswer, "after Extract: writes FILE, asks no name"},
    {word::err, "", WordPlace::Anywhere, "anywhere: exit status 1 when the run failed"},
    {word::out, "NEW", WordPlace::Anywhere, "anywhere: writes NEW, leaves the InputFile as it is"},
    {word::best, "", WordPlace::Anywhere, "anywhere: smaller members, not the reference bytes"},
    {word::noreserve, "", WordPlace::Anywhere, "anywhere, in the _last form after a logo switch"},
    {word::version, "", WordPlace::Alone, "alone: the banner line only"},
    {word::help, "", WordPlace::Alone, "alone: the usage screen and these lines"},
}};

// The --help lines: ten blanks, the word and its operand in 16 columns, ": "
// and the text, within 79 columns (the 80th would end the line on a console).
inline constexpr std::size_t kWordColumns = 16;
inline constexpr std::size_t kHelpTextColumns = 79 - 10 - kWordColumns - 2;

constexpr bool command_words_fit() {
    for (const CommandWord& w : kCommandWords) {
        const std::size_t word = w.word.size() + (w.operand.empty() ? 0 : w.operand.size() + 1);
        if (word > kWordColumns || w.help.size() > kHelpTextColumns) return false;
    }
    return true;
}
static_assert(command_words_fit(), "a --help line of the command words is wider than 79 columns");
