// Hexadecimal digits, as TypeIds and operands are written ("40A0:0").
#pragma once

// The value of one hexadecimal digit in either case; -1 for any other character.
constexpr int hex_digit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}
