// The manifest's text: what /unpack writes reads back the same, stored
// names with any byte included and with Windows line ends; the long lines
// of earlier versions and the short lines a person writes are read, what
// those leave out derived; every malformed line is refused with its number.
#include "folder/manifest.hpp"

#include <gtest/gtest.h>

namespace {

const std::string kSha(64, 'a');

Manifest sample() {
    Manifest m{.image_file = "image.bin", .image_size = 262144, .image_sha256 = kSha, .notes = {}, .lines = {}};
    const std::string names[] = {"SYSBIOS.BIN", "say \"hi\"\\now", std::string("\x01\x7F\xFF\t end", 8), ""};
    int number = 6;
    for (const std::string& name : names)
        m.lines.push_back({.number = number++,
                           .place = Place::Chain,
                           .file = "01-oem0.bin",
                           .switch_text = "/oem0",
                           .type_id = "4012:0000",
                           .method = "-lh5-",
                           .at = 0x10000,
                           .original = 3000,
                           .packed = 1200,
                           .sha256 = kSha,
                           .name = name,
                           .note = {}});
    m.lines.push_back({.number = number,
                       .place = Place::TopBlock,
                       .file = "05-top_block.bin",
                       .switch_text = "-",
                       .type_id = "-",
                       .method = "raw",
                       .at = std::nullopt,
                       .original = 6144,
                       .packed = std::nullopt,
                       .sha256 = "",
                       .name = "NCPUCODE.BIN",
                       .note = {}});
    return m;
}

void expect_same(const Manifest& a, const Manifest& b) {
    EXPECT_EQ(a.image_file, b.image_file);
    EXPECT_EQ(a.image_size, b.image_size);
    EXPECT_EQ(a.image_sha256, b.image_sha256);
    ASSERT_EQ(a.lines.size(), b.lines.size());
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        const ManifestLine &x = a.lines[i], &y = b.lines[i];
        EXPECT_EQ(x.number, y.number);
        EXPECT_EQ(std::tie(x.place, x.file, x.switch_text, x.type_id, x.method, x.sha256, x.name),
                  std::tie(y.place, y.file, y.switch_text, y.type_id, y.method, y.sha256, y.name));
    }
}

TEST(Manifest, ReadsBackWhatItWrites) {
    const std::string text = manifest_text(sample(), "a test");
    const auto parsed = parse_manifest(text);
    ASSERT_TRUE(std::holds_alternative<Manifest>(parsed)) << std::get<std::string>(parsed);
    expect_same(std::get<Manifest>(parsed), sample());
    // The same with Windows line ends, as an editor there may save it.
    std::string crlf;
    for (char ch : text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const auto parsed_crlf = parse_manifest(crlf);
    ASSERT_TRUE(std::holds_alternative<Manifest>(parsed_crlf)) << std::get<std::string>(parsed_crlf);
    expect_same(std::get<Manifest>(parsed_crlf), sample());
}

TEST(Manifest, RefusesMalformedLinesWithTheirNumber) {
    const std::string image = "image image.bin 262144 " + kSha + "\n";
    const std::string good = "chain f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 " + kSha + " \"A.BIN\"\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "the manifest has no \"image\" line"},
        {"image image.bin big " + kSha + "\n", "manifest line 1: the image line reads"},
        {image + "# a comment\n\nchain f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 " + kSha + "\n",
         "manifest line 4: a component line has 9 fields"},
        {image + "rom f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 " + kSha + " \"A\"\n",
         "manifest line 2: \"rom\" is no place"},
        {image + "chain f.bin /oem0 4012:0000 -lh5- 1000G 3000 1200 " + kSha + " \"A\"\n",
         "line 2: AT is a hexadecimal"},
        {image + "chain f.bin /oem0 4012:0000 -lh5- 10000 3e3 1200 " + kSha + " \"A\"\n",
         "line 2: the sizes are decimal"},
        {image + "chain f.bin /oem0 4012:0000 -lh5- 10000 99999999999 1200 " + kSha + " \"A\"\n", "line 2: the sizes"},
        {image + "chain f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 ABC \"A\"\n", "line 2: SHA256 is 64 hexadecimal"},
        {image + "chain f.bin /oem0 4012:0000 -lh6- 10000 3000 1200 " + kSha + " \"A\"\n",
         "line 2: a chain member's method"},
        {image + "chain f.bin /oem0 4012 -lh5- 10000 3000 1200 " + kSha + " \"A\"\n",
         "line 2: TYPE_ID reads SSSS:OOOO"},
        {image + "chain f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 " + kSha + " \"A\\q\"\n",
         "line 2: the stored name"},
        {image + "chain f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 " + kSha + " \"A\\x4\"\n",
         "line 2: the stored name"},
        {image + "chain f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 " + kSha + " \"A\" x\n", "line 2: the stored name"},
        {image + "chain f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 " + kSha + " \"A\n", "line 2: the stored name"},
        {image + good + "top t.bin - - raw 2D000 6144 - " + kSha + " \"N\"\n" + good +
             "top t.bin - - raw 2D000 6144 - " + kSha + " \"N\"\n",
         "manifest line 5: a second \"top\" line (the first is line 3)"},
        {image + good + image, "manifest line 3: a second \"image\" line (the first is line 1); a manifest has one"},
        {image + "chain vga.rom\n",
         "manifest line 2: a component line has 9 fields and a quoted stored name, or reads"},
        {image + "chain a b /vga 4080:0 -lh5- " + kSha + " x\n", "manifest line 2: a component line has 9 fields"},
        {image + "chain vga.rom /vga 4012:0\n", "manifest line 2: TypeId 4012:0 is not one the switch /vga adds"},
        {image + "chain pci.rom /pci 4080:0 -lh5- " + kSha + " \"P\"\n",
         "line 2: TypeId 4080:0 is not one the switch /pci"},
        {image + "chain x.bin /nosuch 4012:0\n", "line 2: TypeId 4012:0 is not one the switch /nosuch adds"},
        {image + "chain x.bin /nosuch\n", "manifest line 2: no TypeId comes with the switch /nosuch; give TYPE_ID"},
        {image + "chain x.bin - -\n", "manifest line 2: a chain line names its SWITCH or its TYPE_ID"},
        {image + "chain 1 /vga\nchain 2 /vga\nchain 3 /vga\nchain 4 /vga\nchain 5 /vga\nchain 6 /vga\nchain 7 /vga\n",
         "manifest line 8: every VGA slot is taken; free one"},
    };
    for (const auto& [text, said] : cases) {
        const auto parsed = parse_manifest(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << text;
        EXPECT_NE(std::get<std::string>(parsed).find(said), std::string::npos) << std::get<std::string>(parsed);
    }
    // Two chain lines are no fault: a chain has many members.
    EXPECT_TRUE(std::holds_alternative<Manifest>(parse_manifest(image + good + good)));
}

// What a line gives, or leaves for the switch's kind to give: the TypeId
// (a slotted kind's first slot no other line takes, given ones first),
// the method, the stored name; the long form's figures are still read.
TEST(Manifest, ReadsLongAndShortLinesAndDerivesWhatTheyLeaveOut) {
    const std::string image = "image image.bin 262144 " + kSha + "\n";
    struct Case {
        std::string lines;
        std::size_t index;  // the line looked at
        std::string type_id, method, name;
        std::optional<std::uint32_t> at, original;
        bool stored;  // it has a SHA-256: found in image.bin, else packed anew
    };
    const Case cases[] = {
        {"chain vga.rom /vga\n", 0, "4080:0000", "-lh5-", "vga.rom", std::nullopt, std::nullopt, false},
        {"chain roms/t.bin /NoCompress\n", 0, "4045:0000", "-lh0-", "t.bin", std::nullopt, std::nullopt, false},
        {"chain b.rom /VGA - - \"B.ROM\"\nchain a.rom /vga 4080:0 -lh5- " + kSha + " \"A\"\n", 0, "4081:0000", "-lh5-",
         "B.ROM", std::nullopt, std::nullopt, false},
        {"chain a.rom /pci -\nchain b.rom /pci\n", 1, "4087:0000", "-lh5-", "b.rom", std::nullopt, std::nullopt, false},
        {"chain i.rom /isa\n", 0, "40A4:0000", "-lh5-", "i.rom", std::nullopt, std::nullopt, false},
        {"chain i.rom /isa\nchain j /isa 40A5:0\nchain k /isa 40A6:0\nchain l /isa 40A7:0\nchain m.rom /isa\n", 4,
         "40A0:0000", "-lh5-", "m.rom", std::nullopt, std::nullopt, false},
        {"chain g.bin /group5\n", 0, "402E:0000", "-lh5-", "g.bin", std::nullopt, std::nullopt, false},
        {"chain g.bin /group05 402E:0000\n", 0, "402E:0000", "-lh5-", "g.bin", std::nullopt, std::nullopt, false},
        {"chain o.bin /oem0 - -lh0-\n", 0, "4012:0000", "-lh0-", "o.bin", std::nullopt, std::nullopt, false},
        {"chain o.bin - 4012:0\n", 0, "4012:0", "-lh5-", "o.bin", std::nullopt, std::nullopt, false},
        {"chain f.bin /oem0 4012:0000 -lh5- " + kSha + " \"A.BIN\"\n", 0, "4012:0000", "-lh5-", "A.BIN", std::nullopt,
         std::nullopt, true},
        {"chain f.bin /oem0 4012:0000 -lh5- 1A000 3000 1200 " + kSha + " \"A.BIN\"\n", 0, "4012:0000", "-lh5-", "A.BIN",
         0x1A000, 3000, true},
        {"top t.bin - - raw " + kSha + " \"NCPU\"\n", 0, "-", "raw", "NCPU", std::nullopt, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        const auto parsed = parse_manifest(image + c.lines);
        ASSERT_TRUE(std::holds_alternative<Manifest>(parsed)) << std::get<std::string>(parsed);
        const ManifestLine& l = std::get<Manifest>(parsed).lines.at(c.index);
        EXPECT_EQ(std::tie(l.type_id, l.method, l.name), std::tie(c.type_id, c.method, c.name));
        EXPECT_EQ(std::tie(l.at, l.original), std::tie(c.at, c.original));
        EXPECT_EQ(!l.sha256.empty(), c.stored);
    }
}

// A manifest that reads well but from which no image can be packed: two
// chain lines for one TypeId, an identical line said as such. Checked in
// one pass: the lines are looked up by TypeId, not searched.
TEST(Manifest, ConflictsAreTwoChainLinesForOneTypeId) {
    const std::string image = "image image.bin 262144 " + kSha + "\n";
    const std::string good = "chain f.bin /oem0 4012:0000 -lh5- 10000 3000 1200 " + kSha + " \"A.BIN\"\n";
    const std::string other = "chain g.bin /oem1 4013:0000 -lh5- - - - - \"B.BIN\"\n";
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {image + good + other, std::nullopt},
        {image + good + other + good, "manifest line 4: the same chain line as line 2; remove one"},
        {image + good + "chain h.bin /oem0 4012:0 -lh5- - - - - \"C.BIN\"\n",
         "manifest line 3: a second chain line for TypeId 4012:0 (the first is line 2); a chain has one member of "
         "each"},
        {image + good + "top t.bin - - raw 2D000 6144 - " + kSha + " \"N\"\n" + other, std::nullopt},
    };
    for (const auto& [text, said] : cases) {
        const auto parsed = parse_manifest(text);
        ASSERT_TRUE(std::holds_alternative<Manifest>(parsed)) << text;
        EXPECT_EQ(manifest_conflict(std::get<Manifest>(parsed)), said) << text;
    }
}

}  // namespace
