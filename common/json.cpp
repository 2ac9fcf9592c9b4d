// The JSON writer.
#include "common/json.hpp"

#include <cstdio>

std::string json_string(std::string_view bytes) {
    std::string out = "\"";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
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
    return out + "\"";
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
    text_ += json_string(name) + ": ";
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
    start_value();
    text_ += json_string(text);
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
