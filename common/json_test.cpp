// The JSON writer: strings as bytes, and the document's shape.
#include <gtest/gtest.h>

#include "common/json.hpp"

namespace {

TEST(Json, StringsAreBytesEscapedToValidText) {
    const struct {
        std::string_view bytes;
        const char* json;
    } cases[] = {
        {"VGA.ROM", R"("VGA.ROM")"},
        {"a\"b\\c", R"("a\"b\\c")"},
        {std::string_view("\x01\x7f\xe9\xff", 4), R"("\u0001\u007f\u00e9\u00ff")"},
        {std::string_view("x\0y", 3), R"("x\u0000y")"},
    };
    for (const auto& c : cases) EXPECT_EQ(json_string(c.bytes), c.json);
    // A path keeps its UTF-8 characters; bytes that form none are escaped.
    EXPECT_EQ(json_string("b\xc3\xbc.bin \xe2\x82\xac\xc3 \xed\xa0\x80", true),
              "\"b\xc3\xbc.bin \xe2\x82\xac\\u00c3 \\u00ed\\u00a0\\u0080\"");
}

TEST(Json, NestedValuesOneALine) {
    JsonWriter json;
    json.begin_object();
    json.key("n").value(-1);
    json.key("list").begin_array().value(true).null().begin_object().end_object().end_array();
    json.key("none").value(std::optional<std::uint32_t>{});
    json.key("empty").begin_array().end_array();
    json.end_object();
    EXPECT_EQ(json.text(),
              "{\n  \"n\": -1,\n  \"list\": [\n    true,\n    null,\n    {}\n  ],\n"
              "  \"none\": null,\n  \"empty\": []\n}\n");
}

}  // namespace
