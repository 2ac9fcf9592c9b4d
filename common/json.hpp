// A JSON document written front to back: objects, arrays, keys and values,
// indented two blanks a level, one member or element a line. Strings are
// taken as bytes: printable ASCII stands as it is, every other byte is
// escaped as \u00XX (its Latin-1 code point), so that any stored name gives
// valid UTF-8 (paths and file names keep their UTF-8 characters).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
public:
    // Inside an object each of these follows key(); inside an array or at
    // the top they stand alone.
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& path(std::string_view name);  // a path or file name: its UTF-8 kept
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(std::uint32_t number) { return value(std::int64_t{number}); }
    JsonWriter& value(int number) { return value(std::int64_t{number}); }
    JsonWriter& value(bool flag);
    JsonWriter& null();
    // A number or null.
    JsonWriter& value(std::optional<std::uint32_t> number) { return number ? value(*number) : null(); }

    // The document, with a line end after it.
    std::string text() const { return text_ + "\n"; }

private:
    void start_value();
    void close(char bracket);

    struct Level {
        bool object;
        bool empty = true;
    };
    std::string text_;
    std::vector<Level> levels_;
    bool after_key_ = false;
};

// `bytes` as a JSON string, quotes included. With `keep_utf8` (a path or a
// file name, as the system spells it) well-formed UTF-8 sequences stand as
// they are and only the other bytes are escaped.
std::string json_string(std::string_view bytes, bool keep_utf8 = false);
