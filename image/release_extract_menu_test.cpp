// The instance menu of the VGA, PCI and ISA ROMs, in process.
#include <gtest/gtest.h>

#include <cstring>

#include "common/console.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "image/release_extract.hpp"
#include "image/release_extract_testing.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/workdir.hpp"

using testkit::chain_image;
using testkit::kChainImageAreaEnd;
using testkit::kChainStart;
using testkit::slurp;

namespace {

std::vector<std::uint8_t> rom(std::uint16_t segment, const std::string& name, std::uint8_t seed) {
    return testkit::member_bytes(testkit::stored_member(segment, 0, name, 0x400, seed));
}

void save_chain(const std::vector<std::vector<std::uint8_t>>& members) {
    chain_image(members).image.save("image.bin");
}

// The TypeId segments of the chain, in order.
std::vector<std::uint16_t> segments() {
    std::vector<std::uint16_t> s;
    for (const ChainMember& m : walk_chain(testkit::slurp("image.bin"), kChainStart, kChainImageAreaEnd).members)
        s.push_back(type_segment(m.header));
    return s;
}

}  // namespace

TEST(InstanceMenu, LoneInstanceIsTakenWithoutAsking) {
    testkit::WorkDir dir;
    save_chain({rom(0x4003, "ACPI.BIN", 1), rom(0x4088, "NIC.ROM", 2), rom(0x4080, "VGA.ROM", 3)});
    OpResult r = run_op(code::pci, false, "Z\n");  // the answer is never read
    EXPECT_EQ(r.out, "PCI ROM - - - [C] : NIC.ROM\n[PCI-C] ROM is release\n");
    EXPECT_EQ(segments(), (std::vector<std::uint16_t>{0x4003, 0x4080}));
}

TEST(InstanceMenu, InvalidChoiceEndsTheRunWithNoChangeAndFailsTheKind) {
    testkit::WorkDir dir;
    save_chain({rom(0x4080, "A.ROM", 1), rom(0x4081, "B.ROM", 2), rom(0x4083, "D.ROM", 3)});
    const auto before = slurp("image.bin");
    for (const char* answer : {"7\n", "A\n", "\n"}) {
        OpResult r = run_op(code::vga, false, answer);
        EXPECT_EQ(r.out,
                  "VGA ROM - - - [1] : A.ROM\n"
                  "VGA ROM - - - [2] : B.ROM\n"
                  "VGA ROM - - - [4] : D.ROM\n"
                  "Enter a choice:")
            << answer;
        EXPECT_EQ(r.err, "\nThe answer \"" + std::string(answer, std::strlen(answer) - 1) +
                             "\" names no slot of /vga: the run ends here.\n");
        EXPECT_EQ(r.outcome, Outcome::EndOfRun);
        EXPECT_EQ(r.state.failed_kinds, std::set<OptionCode>{code::vga});
        EXPECT_EQ(slurp("image.bin"), before);
    }
    OpResult ok = run_op(code::vga, false, "4\n");
    EXPECT_EQ(ok.outcome, Outcome::NextGroup);
    EXPECT_EQ(segments(), (std::vector<std::uint16_t>{0x4080, 0x4081}));
}

TEST(InstanceMenu, IsaLetterAndDigitSlots) {
    testkit::WorkDir dir;
    const std::string list = "ISA ROM - - - [B] : LOW.ROM\nISA ROM - - - [2] : HIGH.ROM\nEnter a choice:";
    save_chain({rom(0x40A1, "LOW.ROM", 1), rom(0x40A5, "HIGH.ROM", 2)});
    OpResult digit = run_op(code::isa, false, "2\n");
    EXPECT_EQ(digit.out, list + "[ISA-2] ROM is release\n");
    EXPECT_EQ(segments(), std::vector<std::uint16_t>{0x40A1});

    save_chain({rom(0x40A1, "LOW.ROM", 1), rom(0x40A5, "HIGH.ROM", 2)});
    OpResult letter = run_op(code::isa, false, "b\n");
    EXPECT_EQ(letter.out, list + "[ISA-B] ROM is release\n");
    EXPECT_EQ(segments(), std::vector<std::uint16_t>{0x40A5});

    // Slot 0x40A5 is also reachable by the letter F; the messages name it "2".
    save_chain({rom(0x40A1, "LOW.ROM", 1), rom(0x40A5, "HIGH.ROM", 2)});
    OpResult f = run_op(code::isa, true, "F\nhigh.out\n");
    EXPECT_EQ(f.out.substr(0, list.size() + 47), list + "Enter an extract file Name :(HIGH.ROM) [ISA-2] ");
    EXPECT_EQ(slurp("high.out"), testkit::stored_member(0x40A5, 0, "HIGH.ROM", 0x400, 2).data);
}

TEST(InstanceMenu, ValidCharacterForAnEmptySlotFindsNothing) {
    testkit::WorkDir dir;
    save_chain({rom(0x4086, "A.ROM", 1), rom(0x4087, "B.ROM", 2), rom(0x409F, "Z.ROM", 3)});
    const auto before = slurp("image.bin");
    OpResult r = run_op(code::pci, true, "E\nout.bin\n");
    EXPECT_EQ(r.out,
              "PCI ROM - - - [A] : A.ROM\nPCI ROM - - - [B] : B.ROM\nPCI ROM - - - [Z] : Z.ROM\n"
              "Enter a choice:Can't found [PCI] ROM...\n");
    EXPECT_EQ(r.outcome, Outcome::NextGroup);
    EXPECT_FALSE(file_exists("out.bin"));
    EXPECT_EQ(slurp("image.bin"), before);

    OpResult z = run_op(code::pci, true, "z\nout.bin\n");
    EXPECT_NE(z.out.find("[PCI-Z] ROM is extracted"), std::string::npos) << z.out;
    EXPECT_EQ(slurp("out.bin"), testkit::stored_member(0x409F, 0, "Z.ROM", 0x400, 3).data);
}

TEST(InstanceMenu, IsaAnswerPastItsSlotsTouchesNoOtherKind) {
    testkit::WorkDir dir;
    // "Q" is index 16, segment 0x40B0: the first setup module, not an ISA ROM;
    // "5" is index 8, segment 0x40A8. Both are slot characters of /isa that
    // name no ISA ROM: not found, and the run goes on.
    save_chain(
        {rom(0x40A0, "A.ROM", 1), rom(0x40A2, "C.ROM", 2), rom(0x40B0, "SROM0.BIN", 3), rom(0x40A8, "OTHER.BIN", 4)});
    const auto before = slurp("image.bin");
    const std::string list = "ISA ROM - - - [A] : A.ROM\nISA ROM - - - [C] : C.ROM\nEnter a choice:";
    for (bool extract : {false, true})
        for (const char* answer : {"Q\n", "q\n", "5\n"}) {
            OpResult r = run_op(code::isa, extract, std::string(answer) + "x.bin\n");
            EXPECT_EQ(r.out, list + "Can't found [ISA] ROM...\n") << answer;
            EXPECT_EQ(r.outcome, Outcome::NextGroup) << answer;
            EXPECT_TRUE(r.state.group_failed);
            EXPECT_TRUE(r.state.failed_kinds.empty());
            EXPECT_EQ(slurp("image.bin"), before);
            EXPECT_FALSE(file_exists("x.bin"));
        }
    EXPECT_EQ(slot_for_answer(code::isa, 'H'), 7);
    EXPECT_EQ(slot_for_answer(code::isa, 'I'), 8);
    EXPECT_EQ(slot_for_answer(code::isa, '4'), 7);
    EXPECT_EQ(slot_for_answer(code::isa, '6'), 9);
    EXPECT_EQ(slot_for_answer(code::isa, '7'), std::nullopt);
    EXPECT_EQ(slot_for_answer(code::pci, 'Z'), 25);
    EXPECT_EQ(slot_for_answer(code::pci, '1'), std::nullopt);
    EXPECT_EQ(slot_for_answer(code::vga, 'a'), std::nullopt);
    EXPECT_EQ(slot_for_answer(code::vga, '6'), 5);
    EXPECT_EQ(slot_for_answer(code::vga, '7'), std::nullopt);
}

TEST(InstanceMenu, EndOfInputAtTheChoiceEndsTheRunAsAFailure) {
    testkit::WorkDir dir;
    save_chain({rom(0x4080, "A.ROM", 1), rom(0x4081, "B.ROM", 2)});
    const auto before = slurp("image.bin");
    OpResult r = run_op(code::vga, true, "");
    EXPECT_EQ(r.outcome, Outcome::EndOfRun);
    EXPECT_NE(r.err.find("No choice was read"), std::string::npos) << r.err;
    EXPECT_EQ(r.state.failed_kinds.count(code::vga), 1u);
    EXPECT_EQ(slurp("image.bin"), before);
}

TEST(InstanceMenu, NameLengthPastTheHeaderIsCutAtTheHeaderEnd) {
    testkit::WorkDir dir;
    auto nic = rom(0x4088, "NIC.ROM", 2);  // H = 32: the header ends at byte 34
    nic[21] = 200;                         // name length far past the header
    nic[32] = 'X';                         // no 0 byte left in the header's last bytes
    nic[33] = 'Y';
    std::fill(nic.begin() + 34, nic.end(), std::uint8_t{'d'});  // data: never part of a name
    save_chain({rom(0x4086, "A.ROM", 1), nic});
    // The header's last bytes hold the data's CRC: its control byte is shown escaped.
    OpResult r = run_op(code::pci, false, "!\n");
    EXPECT_EQ(r.out, "PCI ROM - - - [A] : A.ROM\nPCI ROM - - - [C] : NIC.ROM\\x08J XY\nEnter a choice:");
    EXPECT_EQ(r.out.find('d'), std::string::npos);
}
