// The row of the component listing and the one form in which sizes are
// shown.
//
// A size v is shown as its high 16 bits in hexadecimal (at least one digit),
// its low 16 bits in four digits, "h", and v / 1024 with two decimals in
// parentheses: 0x1F800 -> "1F800h(126.00K)", 0x8000 -> "08000h(32.00K)",
// 0xFFFFFF00 -> "FFFFFF00h(4194303.75K)".
//
// A row: the lead (" %2d. " and the item name, or a fixed text such as
// "(SP) NCPUCODE        "), two blanks and the original size, the space in
// column 40, the stored name in column 56, and the line end. A lead longer
// or shorter than 21 characters moves the original size, never the columns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int kSpaceColumn = 40;
inline constexpr int kNameColumn = 56;

// The size of `value` bytes.
std::string size_text(std::uint32_t value);

// `hex_value` in the hexadecimal part and `kilobytes` in the parentheses, for
// the rows whose two parts count different things.
std::string size_text(std::uint32_t hex_value, double kilobytes);

// Prints one row on standard output; `space` is the text for column 40
// (normally size_text of the space taken), `name` is printed as it is.
void print_listing_row(std::string_view lead, std::uint32_t original_size, std::string_view space,
                       std::string_view name);
