// The manual page names every switch of the catalogue, and no switch the
// tool does not know.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "common/catalogue.hpp"

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
        if (w == "/err" || w == "/dry") continue;  // read from the whole line, not kinds
        if (w == "/unpack" || w == "/pack" || w == "/diff") continue;  // the folder words, no kinds either
        EXPECT_NE(lookup_option(w), 0) << w << " in the manual page is no switch of the tool";
    }
}

}  // namespace
