// Release and extract on synthetic images, in process: gap closing, the
// name prompt, the "Can't found" forms and damaged input.
#include "image/release_extract.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/console.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "image/release_extract_testing.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/workdir.hpp"

using testkit::chain_image;
using testkit::kChainImageAreaEnd;
using testkit::kChainStart;
using testkit::member_bytes;
using testkit::slurp;
using testkit::stored_member;

namespace {

std::vector<std::uint8_t> stored(std::uint16_t segment, const std::string& name, std::uint32_t size, std::uint8_t seed,
                                 std::uint16_t offset = 0) {
    return member_bytes(stored_member(segment, offset, name, size, seed));
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& v, std::size_t at, std::size_t n) {
    return {v.begin() + static_cast<std::ptrdiff_t>(at), v.begin() + static_cast<std::ptrdiff_t>(at + n)};
}

std::string hex_text(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

bool all_erased(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (v[i] != 0xFF) return false;
    return true;
}

}  // namespace

TEST(Release, MiddleOfThreeMovesTheThirdDownAndErasesTheRest) {
    testkit::WorkDir dir;
    auto a = stored(0x4003, "ACPI.BIN", 0x700, 1);
    auto b = stored(0x4005, "HPM.ROM", 0x1234, 2);
    auto c = stored(0x4006, "HPC.ROM", 0x901, 3);
    auto img = chain_image({a, b, c});
    img.image.save("image.bin");
    const auto before = slurp("image.bin");

    OpResult r = run_op(code::hpm, false);
    EXPECT_EQ(r.out, "[HPM] ROM is release\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.outcome, Outcome::NextGroup);
    EXPECT_TRUE(r.state.failed_kinds.empty());
    EXPECT_FALSE(r.state.group_failed);

    const auto after = slurp("image.bin");
    ASSERT_EQ(after.size(), before.size());
    const std::size_t b_span = b.size() + 1;
    const std::size_t c_span = c.size() + 1;
    EXPECT_EQ(slice(after, 0, img.positions[1]), slice(before, 0, img.positions[1]));
    EXPECT_EQ(slice(after, img.positions[1], c_span), slice(before, img.positions[2], c_span));
    EXPECT_TRUE(all_erased(after, img.positions[1] + c_span, kChainImageAreaEnd));
    EXPECT_EQ(slice(after, kChainImageAreaEnd, after.size() - kChainImageAreaEnd),
              slice(before, kChainImageAreaEnd, before.size() - kChainImageAreaEnd));

    ChainWalk walk = walk_chain(after, kChainStart, kChainImageAreaEnd - 0x40);
    ASSERT_EQ(walk.members.size(), 2u);
    EXPECT_EQ(type_segment(walk.members[1].header), 0x4006);
    EXPECT_EQ(walk.end_position, img.chain_end - b_span);
}

TEST(Release, LastMemberEndsTheChainThereUpToTheFreeSpacePointer) {
    testkit::WorkDir dir;
    auto a = stored(0x4003, "ACPI.BIN", 0x700, 1);
    auto logo = stored(0x4000, "LOGO.BIN", 0x2345, 4);
    const std::uint32_t free_pointer = 0x38000;
    auto img = chain_image({a, logo}, free_pointer);
    img.image.fill(free_pointer, 0x100, 0x5A);  // a block placed from the top
    img.image.save("image.bin");
    const auto before = slurp("image.bin");

    OpResult r = run_op(code::logo, false);
    EXPECT_EQ(r.out, "[Logo] ROM is release\n");
    const auto after = slurp("image.bin");
    EXPECT_EQ(slice(after, 0, img.positions[1]), slice(before, 0, img.positions[1]));
    EXPECT_TRUE(all_erased(after, img.positions[1], free_pointer));
    EXPECT_EQ(slice(after, free_pointer, after.size() - free_pointer),
              slice(before, free_pointer, before.size() - free_pointer));

    // Nothing of the kind is left: a second release says so and changes nothing.
    OpResult again = run_op(code::logo, false);
    EXPECT_EQ(again.out, "Can't found [Logo] ROM...\n");
    EXPECT_EQ(slurp("image.bin"), after);
}

TEST(Extract, EmptyAnswerTakesTheStoredNameAndLeavesTheImageAlone) {
    testkit::WorkDir dir;
    auto acpi = stored_member(0x4003, 0, "ACPI.BIN", 0x2001, 7);
    auto img = chain_image({stored(0x4080, "VGA.ROM", 0x800, 1), member_bytes(acpi)});
    img.image.save("image.bin");
    const auto before = slurp("image.bin");

    OpResult r = run_op(code::acpi, true, "\n");
    EXPECT_EQ(r.out, "Enter an extract file Name :(ACPI.BIN) [ACPI] ROM is extracted to ACPI.BIN");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(slurp("ACPI.BIN"), acpi.data);
    EXPECT_EQ(slurp("image.bin"), before);

    // The end of input before any character is no answer: nothing is
    // written, where the stored name would have replaced a newer file.
    std::remove("ACPI.BIN");
    OpResult eof = run_op(code::acpi, true, "");
    EXPECT_FALSE(eof.state.failed_kinds.empty());
    EXPECT_EQ(eof.err, "\nnothing was read; nothing extracted.\n");
    EXPECT_FALSE(std::filesystem::exists("ACPI.BIN"));
}

TEST(Extract, TypedNameReplacesAnExistingFile) {
    testkit::WorkDir dir;
    auto vsa = stored_member(0x4004, 0, "VSA.BIN", 0x10, 9);
    chain_image({member_bytes(vsa)}).image.save("image.bin");
    testkit::spit("mine.bin", std::string("older content that is longer"));

    OpResult r = run_op(code::vsa, true, "mine.bin\n");
    EXPECT_EQ(r.out, "Enter an extract file Name :(VSA.BIN) [VSA] ROM is extracted to mine.bin");
    EXPECT_EQ(slurp("mine.bin"), vsa.data);
    EXPECT_FALSE(file_exists("VSA.BIN"));
}

TEST(Extract, IsaCopyHasTypeOffsetZeroAndTheRomBytesOnly) {
    testkit::WorkDir dir;
    // An ISA ROM kept with its address (C800) in the type offset, header sum matching.
    auto isa = stored_member(0x40A1, 0xC800, "ISA.ROM", 0x600, 5);
    chain_image({member_bytes(isa)}).image.save("image.bin");

    OpResult r = run_op(code::isa, true, "isa.out\n");
    EXPECT_EQ(r.out,
              "ISA ROM - - - [B] : ISA.ROM\n"
              "Enter an extract file Name :(ISA.ROM) [ISA-B] ROM is extracted to isa.out\n");
    EXPECT_EQ(slurp("isa.out"), isa.data);
}

TEST(NotFound, EveryFormOfTheMessage) {
    testkit::WorkDir dir;
    chain_image({stored(0x4003, "ACPI.BIN", 0x100, 1)}).image.save("image.bin");
    const auto before = slurp("image.bin");
    EXPECT_EQ(run_op(code::pci, false).out, "Can't found [PCI] ROM...\n");
    EXPECT_EQ(run_op(code::ncr, true).out, "Can't found [PCI] ROM...\n");
    EXPECT_EQ(run_op(code::isa, true).out, "Can't found [ISA] ROM...\n");
    EXPECT_EQ(run_op(code::vga, false).out, "Can't found [VGA] ROM...\n");
    EXPECT_EQ(run_op(code::group, false, "", 3).out, "Can't found [GROUP3] ROM...\n");
    EXPECT_EQ(run_op(code::epa, true).out, "Can't found [EPA] ROM...\n");
    OpResult r = run_op(code::oem0, false);
    EXPECT_EQ(r.out, "Can't found [OEM0] ROM...\n");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.state.failed_kinds.empty());  // not found is no failed kind, even under /err
    EXPECT_TRUE(r.state.group_failed);          // but it marks the group for the closing fix-ups
    EXPECT_EQ(slurp("image.bin"), before);
}

TEST(Release, GroupMemberIsFoundByItsNumber) {
    testkit::WorkDir dir;
    auto img = chain_image({stored(0x402B, "G2.BIN", 0x300, 1), stored(0x402C, "G3.BIN", 0x300, 2)});
    img.image.save("image.bin");
    OpResult r = run_op(code::group, false, "", 3);
    EXPECT_EQ(r.out, "[GROUP] ROM is release\n");
    ChainWalk walk = walk_chain(slurp("image.bin"), kChainStart, kChainImageAreaEnd);
    ASSERT_EQ(walk.members.size(), 1u);
    EXPECT_EQ(type_segment(walk.members[0].header), 0x402B);
}

// Damaged images and answers: no crash, the image unchanged, a message.

TEST(Damaged, ChainBrokenBeforeTheKindIsFound) {
    testkit::WorkDir dir;
    auto img = chain_image({stored(0x4003, "ACPI.BIN", 0x100, 1)});
    img.image.fill(img.chain_end, 0x40, 0x00);  // neither a header nor erased space
    img.image.put_member(img.chain_end + 0x40, stored_member(0x4005, 0, "HPM.ROM", 0x100));
    img.image.save("image.bin");
    const auto before = slurp("image.bin");
    OpResult r = run_op(code::hpm, false);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("No component header at"), std::string::npos) << r.err;
    EXPECT_EQ(slurp("image.bin"), before);

    // Broken behind the member: a release would move those bytes as if they
    // were members; the extract only reads.
    const auto hpm = stored_member(0x4005, 0, "HPM.ROM", 0x100, 2);
    img = chain_image({member_bytes(hpm)});
    img.image.fill(img.chain_end, 0x40, 0x00);
    img.image.save("image.bin");
    const auto broken = slurp("image.bin");
    r = run_op(code::hpm, false);
    EXPECT_EQ(r.err, "Damaged component chain at " + hex_text(img.chain_end) + "h: nothing released\n");
    EXPECT_EQ(r.state.failed_kinds.count(code::hpm), 1u);
    EXPECT_EQ(slurp("image.bin"), broken);
    run_op(code::hpm, true, "hpm.bin\n");
    EXPECT_EQ(slurp("hpm.bin"), hpm.data);
}

TEST(Damaged, MemberRunningPastTheFileOrTheArea) {
    testkit::WorkDir dir;
    auto img = chain_image({stored(0x4003, "ACPI.BIN", 0x100, 1), stored(0x4005, "HPM.ROM", 0x100, 2)});
    img.image.put32(img.positions[1] + member::kPackedSizeAt, 0x40000);  // past the end of the file
    img.image.save("image.bin");
    auto before = slurp("image.bin");
    for (bool extract : {false, true}) {
        OpResult r = run_op(code::hpm, extract, "x.bin\n");
        EXPECT_NE(r.err.find("runs past the end of image.bin"), std::string::npos) << r.err;
        EXPECT_EQ(r.state.failed_kinds.count(code::hpm), 1u);
        EXPECT_EQ(slurp("image.bin"), before);
        EXPECT_FALSE(file_exists("x.bin"));
    }

    // Inside the file but past the end of the compressed area: no release,
    // while the extract (which only reads) still works.
    auto hpm = stored_member(0x4005, 0, "HPM.ROM", 0x100, 2);
    img = chain_image({stored(0x4003, "ACPI.BIN", 0x100, 1)});
    img.image.put_member(kChainImageAreaEnd - 0x80, hpm);
    img.image.put_member(img.chain_end,
                         stored_member(0x4006, 0, "HPC.ROM", kChainImageAreaEnd - 0x80 - img.chain_end - 35));
    img.image.save("image.bin");
    before = slurp("image.bin");
    OpResult r = run_op(code::hpm, false);
    EXPECT_NE(r.err.find("runs past the compressed area's end (3B000h)"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp("image.bin"), before);
    OpResult x = run_op(code::hpm, true, "hpm.bin\n");
    EXPECT_EQ(slurp("hpm.bin"), hpm.data);
}

TEST(Damaged, FailedExpansionKeepsTheUsersFile) {
    testkit::WorkDir dir;
    auto hpm = stored_member(0x4005, 0, "HPM.ROM", 0x100, 2);
    hpm.method = "-lh6-";
    auto acpi = member_bytes(stored_member(0x4003, 0, "ACPI.BIN", 0x100, 1));
    acpi[1] = static_cast<std::uint8_t>(acpi[1] + 1);  // header sum off by one
    chain_image({member_bytes(hpm), acpi}).image.save("image.bin");
    const std::string mine = "the user's own file";
    testkit::spit("keep.bin", mine);

    OpResult r = run_op(code::hpm, true, "keep.bin\n");
    EXPECT_NE(r.err.find("Unknown method: 54"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("keep.bin is unchanged"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("extracted"), std::string::npos);
    EXPECT_EQ(r.state.failed_kinds.count(code::hpm), 1u);
    EXPECT_EQ(slurp("keep.bin"), std::vector<std::uint8_t>(mine.begin(), mine.end()));

    // A fatal error of the expansion ends the run before the target is touched.
    EXPECT_THROW(run_op(code::acpi, true, "keep.bin\n"), FatalError);
    EXPECT_EQ(slurp("keep.bin"), std::vector<std::uint8_t>(mine.begin(), mine.end()));
    // The expansion went straight into a file beside it, removed with the failure.
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_FALSE(entry.path().extension() == ".tmp") << entry.path();
}

TEST(Damaged, TargetNamesThatCannotBeUsed) {
    testkit::WorkDir dir;
    auto hpm = stored_member(0x4005, 0, "HPM.ROM", 0x100, 2);
    auto evil = stored_member(0x4006, 0, "../escape.bin", 0x10, 3);
    chain_image({member_bytes(hpm), member_bytes(evil)}).image.save("image.bin");

    OpResult missing_dir = run_op(code::hpm, true, "no/such/dir/x.bin\n");
    EXPECT_NE(missing_dir.err.find("Can't write no/such/dir/x.bin"), std::string::npos) << missing_dir.err;
    EXPECT_EQ(missing_dir.out.find("extracted"), std::string::npos);
    EXPECT_EQ(missing_dir.state.failed_kinds.count(code::hpm), 1u);

    OpResult too_long = run_op(code::hpm, true, std::string(kMaxTargetName + 1, 'n') + "\n");
    EXPECT_NE(too_long.err.find("longer than 4095"), std::string::npos) << too_long.err;

    // A name that just fits is used (and refused by the file system here).
    OpResult fits = run_op(code::hpm, true, std::string(kMaxTargetName, 'n') + "\n");
    EXPECT_NE(fits.err.find("Can't write nnn"), std::string::npos);

    // The image's stored name is not trusted to leave the current directory.
    OpResult escape = run_op(code::hpc, true, "\n");
    EXPECT_NE(escape.err.find("no file name of the current directory"), std::string::npos) << escape.err;
    EXPECT_FALSE(file_exists("../escape.bin"));
    // Typed by the user, the same name is used as given.
    OpResult typed = run_op(code::hpc, true, "sub.bin\n");
    EXPECT_EQ(slurp("sub.bin"), evil.data);
}

TEST(Damaged, ExtractNeverReplacesTheImageItself) {
    testkit::WorkDir dir;
    // The stored name is the image's own name: the empty answer would take it.
    auto vsa = stored_member(0x4004, 0, "image.bin", 0x10, 9);
    chain_image({member_bytes(vsa)}).image.save("image.bin");
    const auto before = slurp("image.bin");
    for (const char* answer : {"\n", "image.bin\n", "./image.bin\n"}) {
        OpResult r = run_op(code::vsa, true, answer);
        EXPECT_NE(r.err.find("image.bin is the image being worked on"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("extracted"), std::string::npos) << r.out;
        EXPECT_EQ(r.state.failed_kinds.count(code::vsa), 1u);
        EXPECT_EQ(slurp("image.bin"), before);
    }
}
