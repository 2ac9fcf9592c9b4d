// The manual page names every switch of the catalogue and every word of the
// command line, and no switch the tool does not know.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "common/catalogue.hpp"
#include "common/command_words.hpp"

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The switches set in bold (.B, .BI, .BR lines), lower case; "/groupN" counts as "/group".
std::set<std::string> bold_switches(const std::string& path) {
    std::ifstream page(path);
    if (!page) throw std::runtime_error("cannot read " + path);
    const std::regex word("/[A-Za-z_][A-Za-z0-9_]*");
    const std::regex numbered_group("/group[0-9]+");
    std::set<std::string> found;
    for (std::string line; std::getline(page, line);) {
        if (!line.starts_with(".B")) continue;
        for (std::sregex_iterator it(line.begin(), line.end(), word), end; it != end; ++it) {
            std::string w = lower(it->str());
            found.insert(std::regex_match(w, numbered_group) ? "/group" : w);
        }
    }
    return found;
}

// The words set in bold (.B, .BI, .BR lines), lower case, "\-" read as "-":
// "slot=" from ".BI slot= X", "--version" from ".B mozaik32 \-\-version".
std::set<std::string> bold_words(const std::string& path) {
    std::ifstream page(path);
    if (!page) throw std::runtime_error("cannot read " + path);
    const std::regex escapes(R"(\\f[BIRP])");
    const std::regex word(R"([^\s"(),.;]+)");
    std::set<std::string> found;
    for (std::string line; std::getline(page, line);) {
        if (!line.starts_with(".B")) continue;
        line = std::regex_replace(std::regex_replace(line.substr(line.find(' ') + 1), escapes, " "),
                                  std::regex(R"(\\-)"), "-");
        for (std::sregex_iterator it(line.begin(), line.end(), word), end; it != end; ++it)
            found.insert(lower(it->str()));
    }
    return found;
}

// The words of the command line that are no switch: the table --help and the
// completions read, and the words of every group.
TEST(ManPage, NamesEveryWordOfTheCommandLine) {
    const std::set<std::string> documented = bold_words(MOZAIK_SOURCE_DIR "/doc/mozaik32.1");
    std::set<std::string> words = {"release", "extract", "slot=", "to=", "noreserve", "/err", "--version", "--help"};
    for (const CommandWord& w : kCommandWords) words.insert(lower(std::string(w.word)));
    for (const std::string& w : words) EXPECT_TRUE(documented.count(w)) << w << " is not in the manual page";
}

TEST(ManPage, NamesEverySwitchAndNoUnknownOne) {
    const std::set<std::string> documented = bold_switches(MOZAIK_SOURCE_DIR "/doc/mozaik32.1");
    int switches = 0;
    for (OptionCode c = 1; c <= code::last; ++c) {
        const std::string_view text = kind(c).switch_text;
        if (text.empty()) continue;
        ++switches;
        EXPECT_TRUE(documented.count(lower(std::string(text)))) << text << " is not in the manual page";
    }
    EXPECT_EQ(switches, 99);
    for (const std::string& w : documented) {
        // Words of the whole line, not kinds.
        if (std::any_of(kCommandWords.begin(), kCommandWords.end(),
                        [&w](const CommandWord& c) { return lower(std::string(c.word)) == w; }))
            continue;
        EXPECT_NE(lookup_option(w), 0) << w << " in the manual page is no switch of the tool";
    }
}

}  // namespace
