// Writes the shell completions of mozaik32 (bash, zsh, PowerShell) from the
// catalogue of kinds and the command words, so that a new kind or word needs
// no edit of the scripts. The build runs it:
//   completions TEMPLATE OUT [TEMPLATE OUT ...]
// In a template (tools/completion/*.in) a line holding @SWITCH@ is written
// once for every switch of the catalogue, with @SWITCH@ the switch in lower
// case and @FOLLOWS@ what may follow it:
//   "<class><flags>:<slot characters>"
//   class  n: no file (/D), f: a RomFile, o: a RomFile or nothing (the kind
//          may stand alone), t: an operand, then a RomFile (/other)
//   flags  r: release and extract apply, a: an address may follow the RomFile (/isa)
// e.g. "fr:123456" for /vga. @ANYWHERE@, @ALONE@, @IMAGE_WORDS@,
// @NAME_WORDS@, @SLOT_WORDS@ and @FILE_WORDS@ become the command words of
// that place, blank-separated.
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

#include "common/catalogue.hpp"
#include "common/command_words.hpp"
#include "common/console.hpp"

namespace {

std::string lower(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// What may follow the kind's switch, in the form given above.
std::string follows(const ComponentKind& k) {
    char kind_class = 'f';
    if (is_image_report(k))
        kind_class = 'n';
    else if (k.type_source == TypeSource::Operand)
        kind_class = 't';
    else if (k.lone != LoneUse::Never)
        kind_class = 'o';
    std::string s(1, kind_class);
    if (k.operation == Operation::Add) s += 'r';
    if (!k.type_id_without_operand.empty()) s += 'a';
    s += ':';
    if (k.family)
        for (int i = 0; i < k.family->count; ++i) s += slot_char(*k.family, i);
    return s;
}

std::string words_of(WordPlace place) {
    std::string list;
    for (const CommandWord& w : kCommandWords) {
        if (w.place != place) continue;
        if (!list.empty()) list += ' ';
        list += w.word;
    }
    return list;
}

void replace_all(std::string& line, std::string_view key, const std::string& value) {
    for (std::size_t at = line.find(key); at != std::string::npos; at = line.find(key, at + value.size()))
        line.replace(at, key.size(), value);
}

// The template `in` with its word lists filled in; false when it cannot be read.
bool fill(const std::string& in, std::ostream& out) {
    std::ifstream text(in);
    if (!text) return false;
    for (std::string line; std::getline(text, line);) {
        if (line.find("@SWITCH@") != std::string::npos) {
            for (OptionCode c = 1; c <= code::last; ++c) {
                if (kind(c).switch_text.empty()) continue;
                std::string row = line;
                replace_all(row, "@SWITCH@", lower(kind(c).switch_text));
                replace_all(row, "@FOLLOWS@", follows(kind(c)));
                out << row << '\n';
            }
            continue;
        }
        replace_all(line, "@ANYWHERE@", words_of(WordPlace::Anywhere));
        replace_all(line, "@ALONE@", words_of(WordPlace::Alone));
        replace_all(line, "@SLOT_WORDS@", words_of(WordPlace::SlotAnswer));
        replace_all(line, "@IMAGE_WORDS@", words_of(WordPlace::Image));
        replace_all(line, "@NAME_WORDS@", words_of(WordPlace::NameAnswer));
        replace_all(line, "@FILE_WORDS@", words_of(WordPlace::FileAnswer));
        out << line << '\n';
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 != 1) {
        console::con("usage: completions TEMPLATE OUT [TEMPLATE OUT ...]\n");
        console::flush();
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        std::ostringstream script;
        if (!fill(argv[i], script)) {
            console::conf("completions: cannot read %s\n", argv[i]);
            console::flush();
            return 1;
        }
        std::ofstream out(argv[i + 1], std::ios::binary);
        out << script.str();
        if (!out.flush()) {
            console::conf("completions: cannot write %s\n", argv[i + 1]);
            console::flush();
            return 1;
        }
    }
    return 0;
}
