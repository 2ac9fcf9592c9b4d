// Choosing between the explicit and the _last form, and what the whole
// line sets before the first group.
#include "driver/command_line.hpp"

#include <gtest/gtest.h>

namespace {

struct Line {
    Command state;
    Form form;
    Line(std::vector<std::string> args, const char* last = nullptr) {
        state.args = std::move(args);
        state.args.insert(state.args.begin(), "mozaik32");
        form = choose_form(state, last);
    }
};

TEST(CommandLine, LastFormTakesTheInputFileFromTheVariable) {
    Line d({"/D"}, "6a69s000");
    EXPECT_EQ(d.form, Form::Last);
    EXPECT_EQ(d.state.input_file, "6a69s000.bin");
    EXPECT_EQ(d.state.option_index, 1u);
    EXPECT_EQ(Line({"/D"}).form, Form::NoLastVariable);
    EXPECT_EQ(Line({"/btvga"}, "x").form, Form::Last);
    EXPECT_EQ(Line({"/vga"}, "x").form, Form::Usage);
    EXPECT_EQ(Line({"/D", "more"}, "x").form, Form::Usage);
}

TEST(CommandLine, ExplicitForm) {
    Line vga({"bios.bin", "/vga", "a.rom"});
    EXPECT_EQ(vga.form, Form::Explicit);
    EXPECT_EQ(vga.state.input_file, "bios.bin");
    EXPECT_EQ(vga.state.option_index, 2u);
    EXPECT_EQ(Line({"bios.bin", "/cpucode"}).form, Form::Explicit);
    EXPECT_EQ(Line({"bios.bin", "/D"}).form, Form::Explicit);
    EXPECT_EQ(Line({"bios.bin", "/btvga"}).form, Form::Usage);
    EXPECT_EQ(Line({"bios.bin", "/D", "x"}).form, Form::Usage);
    // "/err" and "noreserve" before the first switch are passed over; alone they are no switch.
    for (const char* word : {"/err", "NoReserve"}) {
        Line before({"bios.bin", word, "/vga", "a.rom"});
        EXPECT_EQ(before.form, Form::Explicit) << word;
        EXPECT_EQ(before.state.option_index, 3u) << word;
        EXPECT_EQ(Line({"bios.bin", word, "/err", "/D"}).state.option_index, 4u) << word;
        EXPECT_EQ(Line({"bios.bin", word}).form, Form::Usage) << word;
    }
    EXPECT_EQ(Line({"bios.bin", "/err", "/D", "x"}).form, Form::Usage);
    EXPECT_EQ(Line({"bios.bin"}).form, Form::Usage);
    EXPECT_EQ(Line({}).form, Form::Usage);
}

TEST(CommandLine, GroupPrefixOnTheFirstSwitchOfEitherForm) {
    Line last({"/group3", "a.rom"}, "x");
    EXPECT_EQ(last.form, Form::Last);
    EXPECT_EQ(last.state.group_number, 3);
    EXPECT_EQ(last.state.args[1], "/group");
    Line expl({"bios.bin", "/GROUP12", "a.rom"});
    EXPECT_EQ(expl.form, Form::Explicit);
    EXPECT_EQ(expl.state.group_number, 12);
    EXPECT_EQ(expl.state.args[2], "/group");
    Line bare({"bios.bin", "/group", "a.rom"});
    EXPECT_EQ(bare.state.group_number, 0);
    // Only the first switch is read this way; a later one stays as written.
    Line later({"bios.bin", "/vga", "a.rom", "/group4", "b.rom"});
    EXPECT_EQ(later.state.args[4], "/group4");
}

TEST(CommandLine, NoreserveOnlyAfterALogoSwitchInTheLastForm) {
    Line last({"/logo", "a.bmp", "NoReserve"}, "x");
    EXPECT_TRUE(last.state.no_reserve);
    EXPECT_TRUE(Line({"/OSB_LOGO3", "a.bmp", "noreserve"}, "x").state.no_reserve);
    EXPECT_FALSE(Line({"/OSB_LOGO", "a.bmp", "noreserve"}, "x").state.no_reserve);
    EXPECT_FALSE(Line({"/vga", "a.rom", "noreserve"}, "x").state.no_reserve);
    EXPECT_FALSE(Line({"bios.bin", "/logo", "a.bmp", "noreserve"}).state.no_reserve);
}

TEST(CommandLine, OsbPositionFromExactlyFourArguments) {
    Line four({"/OSB_BMP", "a.bmp", "100", "200"}, "x");
    EXPECT_TRUE(four.state.osb_position_given);
    EXPECT_EQ(four.state.osb_x, 100);
    EXPECT_EQ(four.state.osb_y, 200);
    EXPECT_FALSE(Line({"/OSB_BMP", "a.bmp", "100"}, "x").state.osb_position_given);
    // Four arguments and no other: a fifth, "/err" too, leaves the numbers unread.
    EXPECT_FALSE(Line({"/OSB_BMP", "a.bmp", "100", "200", "/err"}, "x").state.osb_position_given);
    EXPECT_FALSE(Line({"/OSB_BMP3", "a.bmp", "100", "200", "noreserve"}, "x").state.osb_position_given);
    EXPECT_FALSE(Line({"bios.bin", "/OSB_BMP", "a.bmp", "100", "200"}).state.osb_position_given);
}

}  // namespace
