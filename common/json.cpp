// The JSON writer.
#include "common/json.hpp"

#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence of two to four bytes at the
// start of `s`; 0 when there is none.
std::size_t utf8_sequence(std::string_view s) {
    const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    const std::size_t n = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (n == 0 || s.size() < n) return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) || (lead == 0xF0 && byte(1) < 0x90) ||
        (lead == 0xF4 && byte(1) > 0x8F))
        return 0;
    return n;
}

// Appends `bytes` as a JSON string, quotes included, to `out`: the
// document grows in place, with no string made for each key and value.
void append_json_string(std::string& out, std::string_view bytes, bool keep_utf8) {
    out += '"';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char ch = bytes[i];
        const auto c = static_cast<unsigned char>(ch);
        const std::size_t sequence = keep_utf8 && c >= 0x80 ? utf8_sequence(bytes.substr(i)) : 0;
        if (sequence > 0) {
            out += bytes.substr(i, sequence);
            i += sequence - 1;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c >= 0x20 && c < 0x7F) {
            out += ch;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        }
    }
    out += '"';
}

}  // namespace

std::string json_string(std::string_view bytes, bool keep_utf8) {
    std::string out;
    append_json_string(out, bytes, keep_utf8);
    return out;
}

void JsonWriter::start_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (levels_.empty()) return;
    if (!levels_.back().empty) text_ += ',';
    levels_.back().empty = false;
    text_ += '\n';
    text_.append(2 * levels_.size(), ' ');
}

void JsonWriter::close(char bracket) {
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) {
        text_ += '\n';
        text_.append(2 * levels_.size(), ' ');
    }
    text_ += bracket;
}

JsonWriter& JsonWriter::begin_object() {
    start_value();
    text_ += '{';
    levels_.push_back({true});
    return *this;
}

JsonWriter& JsonWriter::end_object() {
    close('}');
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    start_value();
    text_ += '[';
    levels_.push_back({false});
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    close(']');
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    start_value();
    append_json_string(text_, name, false);
    text_ += ": ";
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
    start_value();
    append_json_string(text_, text, false);
    return *this;
}

JsonWriter& JsonWriter::path(std::string_view name) {
    start_value();
    append_json_string(text_, name, true);
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
    start_value();
    text_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    start_value();
    text_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    start_value();
    text_ += "null";
    return *this;
}
