// The manifest's text: written by /unpack, read by /pack.
#include "folder/manifest.hpp"

#include <cstdio>
#include <map>
#include <sstream>
#include <tuple>
#include <unordered_map>

#include "archive/member_header.hpp"
#include "common/hex.hpp"

namespace {

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (unsigned char ch : name) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch < 0x20 || ch > 0x7E) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", ch);
            out += buf;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out + '"';
}

// The quoted name starting at `at` of `line`; nothing when it is malformed.
std::optional<std::string> unquote(const std::string& line, std::size_t at) {
    if (at >= line.size() || line[at] != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = at + 1; i < line.size(); ++i) {
        const char ch = line[i];
        if (ch == '"') {
            // Nothing but blanks may follow.
            if (line.find_first_not_of(" \t\r", i + 1) != std::string::npos) return std::nullopt;
            return out;
        }
        if (ch != '\\') {
            out += ch;
            continue;
        }
        if (++i >= line.size()) return std::nullopt;
        if (line[i] == 'x') {
            if (i + 2 >= line.size()) return std::nullopt;
            const int hi = hex_digit(line[i + 1]), lo = hex_digit(line[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (line[i] == '"' || line[i] == '\\') {
            out += line[i];
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// A number, hexadecimal or decimal, or "-" (nothing); false when neither.
bool read_number(const std::string& word, bool hex, std::optional<std::uint32_t>& value) {
    if (word == "-") {
        value.reset();
        return true;
    }
    std::uint64_t v = 0;
    for (char ch : word) {
        const int d = hex ? hex_digit(ch) : (ch >= '0' && ch <= '9' ? ch - '0' : -1);
        if (d < 0) return false;
        v = v * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return !word.empty();
}

bool is_sha256(const std::string& word) {
    if (word.size() != 64) return false;
    for (char ch : word)
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) return false;
    return true;
}

std::string line_error(int number, const std::string& what) {
    return "manifest line " + std::to_string(number) + ": " + what;
}

// The fields both forms share, checked: the place, and a chain line's
// TypeId and method where given ("-" is derived later).
std::optional<std::string> check_common(const ManifestLine& l, const std::string& place_text) {
    if (!place_of_word(place_text))
        return line_error(l.number, "\"" + place_text + "\" is no place (" + place_words() + ")");
    if (l.place == Place::Chain && l.method != "-" && l.method != "-lh5-" && l.method != "-lh0-")
        return line_error(l.number, "a chain member's method is -lh5- or -lh0-");
    if (l.place == Place::Chain && l.type_id != "-" && l.type_id.find(':') == std::string::npos)
        return line_error(l.number, "TYPE_ID reads SSSS:OOOO");
    return std::nullopt;
}

// The figures only the long form has: AT ORIGINAL PACKED (`w` its words 5 to 7).
std::optional<std::string> long_figures(ManifestLine& l, const std::vector<std::string>& w) {
    if (!read_number(w[5], true, l.at)) return line_error(l.number, "AT is a hexadecimal offset or -");
    if (!read_number(w[6], false, l.original) || !read_number(w[7], false, l.packed))
        return line_error(l.number, "the sizes are decimal numbers or -");
    return std::nullopt;
}

// A component line (`w` its words before the quote at `quote`), long or short:
//   PLACE FILE SWITCH TYPE_ID METHOD AT ORIGINAL PACKED SHA256 "STORED NAME"
//   PLACE FILE SWITCH [TYPE_ID [METHOD [SHA256]]] ["STORED NAME"]
std::variant<ManifestLine, std::string> component_line(int number, const std::string& line, std::size_t quote,
                                                       const std::vector<std::string>& w) {
    const bool long_form = w.size() == 9;
    if (long_form ? quote == std::string::npos : (w.size() < 3 || w.size() > 6))
        return line_error(number,
                          "a component line has 9 fields and a quoted stored name, or reads PLACE FILE "
                          "SWITCH [TYPE_ID [METHOD [SHA256]]] [\"STORED NAME\"]");
    const auto word = [&w](std::size_t i) { return i < w.size() ? w[i] : std::string("-"); };
    ManifestLine l{.number = number,
                   .place = place_of_word(w[0]).value_or(Place::Chain),
                   .file = w[1],
                   .switch_text = w[2],
                   .type_id = word(3),
                   .method = word(4),
                   .at = std::nullopt,
                   .original = std::nullopt,
                   .packed = std::nullopt,
                   .sha256 = {},
                   .name = {},
                   .note = {}};
    if (std::optional<std::string> fault = check_common(l, w[0])) return std::move(*fault);
    if (long_form) {
        if (std::optional<std::string> fault = long_figures(l, w)) return std::move(*fault);
    }
    const std::string sha = word(long_form ? 8 : 5);
    if (sha != "-" && !is_sha256(sha)) return line_error(number, "SHA256 is 64 hexadecimal digits or -");
    if (sha != "-") l.sha256 = sha;
    if (quote == std::string::npos) {
        // Left out: the content file's own name.
        const std::size_t slash = l.file.find_last_of("/\\");
        l.name = slash == std::string::npos ? l.file : l.file.substr(slash + 1);
        return l;
    }
    const std::optional<std::string> name = unquote(line, quote);
    if (!name) return line_error(number, "the stored name is one quoted text, with \\\" \\\\ and \\xNN");
    l.name = *name;
    return l;
}

}  // namespace

std::string line_fault(const ManifestLine& l, const std::string& what) {
    return line_error(l.number, what);
}

std::optional<std::string> damaged_line(const ManifestLine& l) {
    const std::size_t part = l.file.find_last_of("/\\");
    if (l.file.find(".damaged.", part == std::string::npos ? 0 : part + 1) == std::string::npos) return std::nullopt;
    return line_fault(l, l.file +
                             " holds what /unpack could read of a damaged component: put a sound file in the "
                             "folder and name it on this line, or delete the line to leave the component out");
}

std::string manifest_text(const Manifest& m, const std::string& title) {
    std::ostringstream out;
    out << "# " << title << "\n"
        << "# Edit a content file, delete a chain line to remove its member, or add a chain line\n"
        << "# (\"chain FILE SWITCH\" will do) to add one; then: mozaik32 NEW /pack FOLDER\n"
        << "image " << m.image_file << " " << m.image_size << " " << m.image_sha256 << "\n"
        << "# place file switch type_id method sha256 \"stored name\"\n";
    for (const std::string& note : m.notes) out << "# " << note << "\n";
    for (const ManifestLine& l : m.lines) {
        if (!l.note.empty()) out << "# " << l.note << "\n";
        out << place_word(l.place) << " " << l.file << " " << l.switch_text << " " << l.type_id << " " << l.method
            << " " << (l.sha256.empty() ? "-" : l.sha256) << " " << quoted(l.name) << "\n";
    }
    return out.str();
}

std::variant<Manifest, std::string> parse_manifest(const std::string& text) {
    Manifest m;
    bool image_line = false;
    int image_number = 0;
    std::map<Place, int> place_lines;  // a block's place: its line
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        const std::size_t quote = line.find('"');
        std::istringstream words(line.substr(0, quote));
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty()) return line_error(number, "a line starts with its place");
        if (w[0] == "image") {
            std::optional<std::uint32_t> size;
            if (w.size() != 4 || quote != std::string::npos || !read_number(w[2], false, size) || !size ||
                !is_sha256(w[3]))
                return line_error(number, "the image line reads \"image FILE SIZE SHA256\"");
            if (image_line)
                return line_error(number, "a second \"image\" line (the first is line " + std::to_string(image_number) +
                                              "); a manifest has one");
            image_number = number;
            m.image_line = number;
            m.image_file = w[1];
            m.image_size = *size;
            m.image_sha256 = w[3];
            image_line = true;
            continue;
        }
        std::variant<ManifestLine, std::string> read = component_line(number, line, quote, w);
        if (std::string* fault = std::get_if<std::string>(&read)) return std::move(*fault);
        ManifestLine& l = std::get<ManifestLine>(read);
        // An image has one of each block outside the chain: each place seen
        // once, looked up, not searched for.
        if (l.place != Place::Chain) {
            const auto [first, fresh] = place_lines.try_emplace(l.place, number);
            if (!fresh)
                return line_error(number, "a second \"" + std::string(place_word(l.place)) +
                                              "\" line (the first is line " + std::to_string(first->second) +
                                              "); an image has one");
        }
        m.lines.push_back(std::move(l));
    }
    if (!image_line) return std::string("the manifest has no \"image\" line");
    if (std::optional<std::string> fault = derive_lines(m)) return std::move(*fault);
    return m;
}

std::optional<std::string> manifest_conflict(const Manifest& m) {
    std::unordered_map<std::uint32_t, std::size_t> type_lines;  // a chain TypeId: its index in m.lines
    for (std::size_t i = 0; i < m.lines.size(); ++i) {
        const ManifestLine& l = m.lines[i];
        if (l.place != Place::Chain) continue;
        const TypeIdValue type = parse_type_id(l.type_id);
        const auto [first, fresh] = type_lines.try_emplace(std::uint32_t{type.segment} << 16 | type.offset, i);
        if (fresh) continue;
        const ManifestLine& before = m.lines[first->second];
        const bool same =
            std::tie(before.file, before.switch_text, before.type_id, before.method, before.at, before.original,
                     before.packed, before.sha256, before.name) ==
            std::tie(l.file, l.switch_text, l.type_id, l.method, l.at, l.original, l.packed, l.sha256, l.name);
        if (same) return line_fault(l, "the same chain line as line " + std::to_string(before.number) + "; remove one");
        return line_fault(l, "a second chain line for TypeId " + l.type_id + " (the first is line " +
                                 std::to_string(before.number) + "); a chain has one member of each");
    }
    return std::nullopt;
}
