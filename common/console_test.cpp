// The 80-column rendering of both channels.
#include "common/console.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Console, CursorMovePadsWithBlanksAndOverwritesLongerLines) {
    console::Capture cap;
    console::out(" 1. VGA ROM[1]");
    console::move_to_column(20);
    console::out("X\n");
    console::out("0123456789");
    console::move_to_column(4);
    console::out("ab\n");
    EXPECT_EQ(cap.out(), " 1. VGA ROM[1]      X\n0123ab6789\n");
}

TEST(Console, EightiethCharacterEndsTheLine) {
    console::Capture cap;
    console::out(std::string(80, '='));
    console::out(" 0. System\n");
    console::out(std::string(79, 'a') + "\n");
    console::out(std::string(85, 'b'));
    console::out("\n");
    EXPECT_EQ(cap.out(), std::string(80, '=') + "\n 0. System\n" + std::string(79, 'a') + "\n" + std::string(80, 'b') +
                             "\n" + std::string(5, 'b') + "\n");
}

TEST(Console, ConsoleChannelFlushesPendingOutputAndSharesTheCursor) {
    console::Capture cap;
    console::out("Adding x ");
    console::con("...");
    EXPECT_EQ(cap.out(), "Adding x ");
    EXPECT_EQ(cap.err(), "...");
    EXPECT_EQ(console::column(), 12);
    console::con("\n");
    console::out("a");
    console::move_to_column(3);
    console::out("b");
    EXPECT_EQ(cap.out(), "Adding x a  b");
}

TEST(Console, ReadLineBoundsTheAnswerAndReportsEndOfInput) {
    console::Capture cap("first line\r\nabcdefghij\n");
    EXPECT_EQ(console::read_line(64), "first line");
    EXPECT_EQ(console::read_line(4), "abcd");
    EXPECT_EQ(console::read_line(4), std::nullopt);
}

// The tool's own messages are broken at blanks, never inside a word or a
// number, and each line fits 79 columns (the 80th would end it itself).
TEST(Console, NotesBreakAtBlanksWithinTheLine) {
    const std::string a76(76, 'a'), a78(78, 'a'), w90(90, 'w');
    const struct {
        std::string text, laid_out;
        bool fits = true;  // a word longer than a line is the console's to wrap
    } rows[] = {
        {"short", "short"},
        {std::string(79, 'x'), std::string(79, 'x')},
        {a78 + " 12345h", a78 + "\n  12345h"},
        {"b " + a76 + " c", "b " + a76 + "\n  c"},
        {"b " + a76 + " " + a76 + " c", "b " + a76 + "\n  " + a76 + "\n  c"},
        {w90 + " tail", w90 + "\n  tail", false},
        {"one\n" + a78 + " two", "one\n" + a78 + "\n  two"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(console::fitted(row.text), row.laid_out) << row.text;
        if (!row.fits) continue;
        console::Capture cap;
        console::note(row.text);
        EXPECT_EQ(cap.err(), row.laid_out + "\n") << "no break of the console's own";
    }
}

}  // namespace
