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

}  // namespace
