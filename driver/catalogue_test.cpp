// The irregular rows of the catalogue and the catalogue step.
#include "common/catalogue.hpp"

#include <gtest/gtest.h>

#include "archive/member_header.hpp"
#include "common/console.hpp"
#include "driver/select_kind.hpp"

namespace {

TEST(Lookup, MatchesWholeSwitchesWithoutRegardToCase) {
    // What a user types, and the row's switch it must find.
    const std::pair<const char*, const char*> found[] = {
        {"/vga", "/vga"},           {"/VGA", "/vga"},   {"/vGa", "/vga"},
        {"/epa1", "/epa1"},         {"/D", "/d"},       {"/nocompress", "/NoCompress"},
        {"/osb_bmp7", "/OSB_BMP7"}, {"/cals", "/CALS"}, {"/PCI", "/pci"},
    };
    for (const auto& [typed, row_switch] : found) {
        const OptionCode c = lookup_option(typed);
        ASSERT_NE(c, 0) << typed;
        EXPECT_EQ(kind(c).switch_text, row_switch) << typed;
    }
    for (const char* no : {"", "/", "/vga1", "/err", "/ERR", "noreserve", "release", "a.rom", "/group3", "/vga "})
        EXPECT_EQ(lookup_option(no), 0) << no;
}

TEST(ListingName, SlotFamiliesAndIrregularNames) {
    EXPECT_EQ(listing_name(0x4080, 0), "VGA ROM[1]      ");
    EXPECT_EQ(listing_name(0x4085, 0), "VGA ROM[6]      ");
    EXPECT_EQ(listing_name(0x4086, 0), "PCI ROM[A]      ");
    EXPECT_EQ(listing_name(0x409F, 0), "PCI ROM[Z]      ");
    EXPECT_EQ(listing_name(0x40A0, 0), "ISA ROM[A]      ");
    EXPECT_EQ(listing_name(0x40A3, 0), "ISA ROM[D]      ");
    EXPECT_EQ(listing_name(0x40A4, 0), "ISA ROM[1]      ");
    EXPECT_EQ(listing_name(0x40A6, 0), "ISA ROM[3]      ");
    EXPECT_EQ(listing_name(0x40A7, 0), "Other(40A7:0000)");
    EXPECT_EQ(listing_name(0x4029, 0), "GROUP ROM[ 0]   ");
    EXPECT_EQ(listing_name(0x4044, 0), "GROUP ROM[27]   ");
    EXPECT_EQ(listing_name(0x4003, 0), "ACPI table      ");
    EXPECT_EQ(listing_name(0x405C, 0), "JPEG ENGINE");
    EXPECT_EQ(listing_name(0x4058, 0), "JPEG1 ROM        ");
    EXPECT_EQ(listing_name(0x405D, 0), "BIOSF0            ");
    EXPECT_EQ(listing_name(0x40B6, 0), "SETUP1           ");
    EXPECT_EQ(listing_name(0x4101, 0), "VERSION TABLE   ");
    EXPECT_EQ(listing_name(0x400a, 0), "FNT2 ROM        ");
    EXPECT_EQ(listing_name(0x4068, 0), "Other(4068:0000)");
    EXPECT_EQ(listing_name(0x407E, 0), "Other(407E:0000)");
    EXPECT_EQ(listing_name(0x9000, 0x12), "Other(9000:0012)");
    EXPECT_EQ(listing_name(0xC800, 0), "Other(C800:0000)");
}

TEST(ShortName, SharedKindsAndChosenNames) {
    EXPECT_EQ(short_name(code::acpitbl), "ACPI");
    EXPECT_EQ(short_name(code::ncr), "");
    EXPECT_EQ(short_name(code::krvflash), "Flash ROM");
    EXPECT_EQ(short_name(code::ver), "VER");
    EXPECT_EQ(short_name(code::nvmm), "NVMM");
}

struct Step {
    Command command;
    RunState state;
    console::Capture cap;
    explicit Step(std::vector<std::string> args) {
        command.args = std::move(args);
        command.option_index = 2;
        command.err_mode = state.err_mode = true;
    }
    bool select() {
        command.groups = parse_groups(command);
        return select_kind(command, command.groups.at(0), state);
    }
};

TEST(SelectKind, NcrAndAhaBecomePci) {
    for (const char* sw : {"/ncr", "/AHA"}) {
        Step s({"mozaik32", "bios.bin", sw, "a.rom"});
        ASSERT_TRUE(s.select());
        EXPECT_EQ(s.state.group.code, code::pci);
        EXPECT_EQ(s.state.group.type_value, 0x4086);
        EXPECT_EQ(s.state.group.type_id, "4086:0");
    }
}

TEST(SelectKind, OtherTakesItsOperand) {
    Step s({"mozaik32", "bios.bin", "/other", "C800:0", "a.rom"});
    ASSERT_TRUE(s.select());
    EXPECT_EQ(s.state.group.type_value, 0xC800);
    EXPECT_EQ(s.state.group.type_id, "C800:0");
    EXPECT_EQ(s.command.groups[0].rom_file, "a.rom");  // the operand stepped over

    Step nocolon({"mozaik32", "bios.bin", "/other", "8000", "a.rom"});
    ASSERT_TRUE(nocolon.select());
    EXPECT_EQ(nocolon.state.group.type_value, 0x8000);
    EXPECT_EQ(nocolon.state.group.type_id, "8000");

    // The form the reports print, SSSS:OOOO, goes back in.
    Step reported({"mozaik32", "bios.bin", "/other", "D000:0010", "a.rom"});
    ASSERT_TRUE(reported.select());
    EXPECT_EQ(reported.state.group.type_value, 0xD000);
    EXPECT_EQ(parse_type_id(reported.state.group.type_id).offset, 0x10);
}

TEST(SelectKind, BadMissingOrOverlongOtherOperandEndsTheRun) {
    Step bad({"mozaik32", "bios.bin", "/other", "D0X0:0", "a.rom"});
    EXPECT_FALSE(bad.select());
    EXPECT_EQ(bad.cap.out(), "Input parameter D0X0:0 error.");
    EXPECT_EQ(bad.state.group.type_id, "7000:0");
    EXPECT_TRUE(bad.state.failed_kinds.count(code::other));

    Step longer({"mozaik32", "bios.bin", "/other", "D0000:0000", "a.rom"});
    EXPECT_FALSE(longer.select());
    EXPECT_EQ(longer.cap.out(), "Input parameter D0000:0000 error.");

    Step empty({"mozaik32", "bios.bin", "/other", "", "a.rom"});
    EXPECT_FALSE(empty.select());
    EXPECT_EQ(empty.cap.out(), "Input parameter  error.");
    EXPECT_TRUE(empty.state.group_failed);
    EXPECT_EQ(empty.state.group.type_id, "7000:0");

    Step missing({"mozaik32", "bios.bin", "/other"});
    EXPECT_FALSE(missing.select());
    EXPECT_NE(missing.cap.out().find("/other needs a TypeId"), std::string::npos);
    EXPECT_EQ(missing.state.group.type_id, "7000:0");
}

TEST(SelectKind, GroupNumbersZeroToTwentySix) {
    Step first({"mozaik32", "bios.bin", "/group", "a.rom"});
    ASSERT_TRUE(first.select());
    EXPECT_EQ(first.state.group.type_id, "4029:0");
    Step last({"mozaik32", "bios.bin", "/group", "a.rom"});
    last.command.group_number = 26;
    ASSERT_TRUE(last.select());
    EXPECT_EQ(last.state.group.type_id, "4043:0");
    EXPECT_EQ(last.state.group.type_value, 0x4043);
    Step over({"mozaik32", "bios.bin", "/group", "a.rom"});
    over.command.group_number = 27;
    EXPECT_FALSE(over.select());
    EXPECT_NE(over.cap.out().find("/group27"), std::string::npos);
    EXPECT_EQ(over.state.group.type_id, "7000:0");
}

TEST(SelectKind, WordThatIsNoSwitchEndsTheRunWithTheGroupFailed) {
    for (const char* word : {"b.rom", "/pic"}) {
        Step s({"mozaik32", "bios.bin", word});
        EXPECT_FALSE(s.select());
        EXPECT_TRUE(s.state.group_failed) << word;
        EXPECT_EQ(s.cap.out(), "");
        EXPECT_EQ(s.cap.err(), std::string("Unknown option ") + word + ": the run ends here\n");
        EXPECT_TRUE(s.state.run_failed) << word;
        EXPECT_TRUE(s.state.failed_kinds.empty());
    }
}

TEST(IsaSegment, DigitsUpToAColonOrSlashAndABadCharacterMarksTheGroup) {
    struct Case {
        const char* operand;
        std::uint32_t value;
        const char* printed;
    };
    const Case cases[] = {
        {"D800:0", 0xD800, ""},
        {"d800", 0xD800, ""},
        {"/vga", 0, ""},
        {"0", 0, ""},
        {"D8G0:0", 0xD8, "Input parameter D8G0:0 error."},
        {"x", 0, "Input parameter x error."},
    };
    for (const Case& c : cases) {
        Step s({"mozaik32", "bios.bin", "/isa", "a.rom", c.operand});
        EXPECT_EQ(isa_segment_operand(s.state, c.operand), c.value) << c.operand;
        EXPECT_EQ(s.cap.out(), c.printed);
        EXPECT_EQ(s.state.group_failed, *c.printed != '\0') << c.operand;
    }
}

TEST(SelectKind, KindsWithoutTypeIdKeepTheText) {
    Step d({"mozaik32", "bios.bin", "/D"});
    ASSERT_TRUE(d.select());
    EXPECT_EQ(d.state.group.type_value, 0xFFFF);
    EXPECT_EQ(d.state.group.type_id, "7000:0");
    Step btvga({"mozaik32", "bios.bin", "/btvga"});
    EXPECT_TRUE(btvga.select());
    EXPECT_TRUE(btvga.cap.out().empty());
    Step nc({"mozaik32", "bios.bin", "/NC_CPUCODE", "a.bin"});
    ASSERT_TRUE(nc.select());
    EXPECT_TRUE(nc.state.ncpu_requested);
    EXPECT_EQ(nc.state.group.type_id, "4056:0");
}

}  // namespace
