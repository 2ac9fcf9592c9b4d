// Release and extract through the real binary, against independent peers:
// a member compressed by the jlha archiver, and bitmaps opened by PIL.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "testkit/extract_kit.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

using testkit::chain_image;
using testkit::slurp;

namespace {

// Text-like data with long repeats and a pseudo-random part, several
// 8192-byte pieces long, so the stream has matches and literals alike.
std::vector<std::uint8_t> payload(std::size_t size) {
    static const char* words[] = {"boot ", "block ", "chain ", "member ", "ROM ", "\n", "0x4086 "};
    std::vector<std::uint8_t> data;
    std::uint32_t state = 12345;
    while (data.size() < size) {
        state = state * 1103515245 + 12345;
        if ((state >> 16) % 5 == 0) {
            data.push_back(static_cast<std::uint8_t>(state >> 8));
        } else {
            for (const char* p = words[(state >> 16) % 7]; *p && data.size() < size; ++p) data.push_back(*p);
        }
    }
    return data;
}

testkit::RunOptions fed(std::string input) {
    testkit::RunOptions options;
    options.input = std::move(input);
    return options;
}

std::vector<std::uint8_t> stored(std::uint16_t segment, const std::string& name, std::uint32_t size,
                                 std::uint8_t seed) {
    return testkit::member_bytes(testkit::stored_member(segment, 0, name, size, seed));
}

// The member jlha makes of `data` (level-0 header, "-lh5-"), tagged as `segment`.
std::vector<std::uint8_t> jlha_member(const std::vector<std::uint8_t>& data, std::uint16_t segment) {
    std::optional<std::string> jlha = testkit::find_on_path("jlha");
    if (!jlha) throw std::runtime_error("jlha (Debian jlha-utils) is not installed");
    testkit::spit("PEER.ROM", data);
    testkit::RunResult made = testkit::run_program(*jlha, {"c0o5q", "peer.lzh", "PEER.ROM"});
    if (made.status != 0) throw std::runtime_error("jlha failed: " + made.err);
    std::vector<std::uint8_t> member = testkit::first_lzh_member("peer.lzh");
    testkit::retag_member(member, segment);
    return member;
}

// A 256-colour LogoImage of w x h pixels: index (x * 3 + y * 7) % 256, palette
// entry i = (i % 64, (i / 2) % 64, 63 - i % 64).
std::vector<std::uint8_t> logo_256(std::uint16_t w, std::uint16_t h) {
    const std::size_t row = (w + 7u) & ~7u;
    std::vector<std::uint8_t> v = {'K',
                                   'R',
                                   'B',
                                   'M',
                                   static_cast<std::uint8_t>(w),
                                   static_cast<std::uint8_t>(w >> 8),
                                   static_cast<std::uint8_t>(h),
                                   static_cast<std::uint8_t>(h >> 8)};
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < row; ++x) v.push_back(x < w ? static_cast<std::uint8_t>((x * 3 + y * 7) % 256) : 0);
    for (char c : std::string("RGB ")) v.push_back(static_cast<std::uint8_t>(c));
    for (int i = 0; i < 256; ++i) {
        v.push_back(static_cast<std::uint8_t>(i % 64));
        v.push_back(static_cast<std::uint8_t>((i / 2) % 64));
        v.push_back(static_cast<std::uint8_t>(63 - i % 64));
    }
    return v;
}

// A 16-colour LogoImage: index (x + 2 * y) % 16 in four bit planes of R / 4
// bytes a row (first pixel in the top bit); palette entry i = blue, green,
// red (4 * i + 1, 63 - 4 * i, 2 * i).
std::vector<std::uint8_t> logo_16(std::uint16_t w, std::uint16_t h) {
    const std::size_t plane = (((w + 7u) >> 1) & ~3u) / 4;
    std::vector<std::uint8_t> v = {'K',
                                   'R',
                                   'B',
                                   'M',
                                   static_cast<std::uint8_t>(w),
                                   static_cast<std::uint8_t>(w >> 8),
                                   static_cast<std::uint8_t>(h),
                                   static_cast<std::uint8_t>(h >> 8)};
    for (std::size_t y = 0; y < h; ++y)
        for (int p = 0; p < 4; ++p)
            for (std::size_t k = 0; k < plane; ++k) {
                std::uint8_t b = 0;
                for (std::size_t j = 0; j < 8; ++j) {
                    const std::size_t x = k * 8 + j;
                    if (x < w && (((x + 2 * y) % 16) >> p & 1)) b |= static_cast<std::uint8_t>(0x80 >> j);
                }
                v.push_back(b);
            }
    for (char c : std::string("RGB ")) v.push_back(static_cast<std::uint8_t>(c));
    for (int i = 0; i < 16; ++i) {
        v.push_back(static_cast<std::uint8_t>(4 * i + 1));
        v.push_back(static_cast<std::uint8_t>(63 - 4 * i));
        v.push_back(static_cast<std::uint8_t>(2 * i));
    }
    return v;
}

// What PIL sees in a bitmap: "W H" and then every pixel's "R,G,B", row by row.
std::string pil_pixels(const std::string& path) {
    const char* script =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1])\n"
        "assert im.format == 'BMP', im.format\n"
        "rgb = im.convert('RGB')\n"
        "w, h = im.size\n"
        "print(w, h)\n"
        "print(' '.join('%d,%d,%d' % rgb.getpixel((x, y)) for y in range(h) for x in range(w)))\n";
    testkit::RunResult r = testkit::run_program("/usr/bin/python3", {"-c", script, path});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

std::string expected_pixels(int w, int h, bool colours256) {
    std::ostringstream s;
    s << w << ' ' << h << '\n';
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (x || y) s << ' ';
            if (colours256) {
                int i = (x * 3 + y * 7) % 256;
                s << (i % 64) * 4 << ',' << ((i / 2) % 64) * 4 << ',' << (63 - i % 64) * 4;
            } else {
                int i = (x + 2 * y) % 16;
                s << (2 * i) * 4 << ',' << (63 - 4 * i) * 4 << ',' << (4 * i + 1) * 4;
            }
        }
    s << '\n';
    return s.str();
}

}  // namespace

TEST(ExtractPeer, JlhaCompressedMemberComesBackByteForByte) {
    MOZAIK_LINUX_ONLY("jlha");
    testkit::WorkDir dir;
    const std::vector<std::uint8_t> data = payload(50000);
    std::vector<std::uint8_t> member = jlha_member(data, 0x4088);
    ASSERT_EQ(std::string(member.begin() + 2, member.begin() + 7), "-lh5-");
    ASSERT_LT(member.size(), data.size());  // really compressed
    chain_image({stored(0x4080, "VGA.ROM", 0x800, 1), stored(0x4086, "FIRST.ROM", 0x900, 2), member,
                 stored(0x4003, "ACPI.BIN", 0x300, 3)})
        .image.save("img.bin");
    const auto before = slurp("img.bin");

    testkit::RunResult r = testkit::run_tool({"img.bin", "/pci", "extract"}, fed("C\nout.bin\n"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("PCI ROM - - - [A] : FIRST.ROM\nPCI ROM - - - [C] : PEER.ROM\nEnter a choice:"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("[PCI-C] ROM is extracted"), std::string::npos) << r.out;
    EXPECT_EQ(slurp("out.bin"), data);
    EXPECT_EQ(slurp("img.bin"), before);
}

TEST(ExtractPeer, LogoAndEpaComeOutAsBitmapsPilOpens) {
    MOZAIK_LINUX_ONLY("jlha and Python's PIL");
    testkit::WorkDir dir;
    testkit::MemberFields logo = testkit::stored_member(0x4000, 0, "MYLOGO.BMP", 0);
    logo.data = logo_256(33, 5);
    // The EPA picture as jlha compresses it.
    chain_image({testkit::member_bytes(logo), jlha_member(logo_16(20, 3), 0x4002)}).image.save("img.bin");

    testkit::RunResult r = testkit::run_tool({"img.bin", "/logo", "extract"}, fed("\n"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[Logo] ROM is extracted to MYLOGO.BMP"), std::string::npos) << r.out;
    EXPECT_EQ(pil_pixels("MYLOGO.BMP"), expected_pixels(33, 5, true));

    testkit::RunResult e = testkit::run_tool({"img.bin", "/epa", "extract"}, fed("epa.bmp\n"));
    EXPECT_EQ(e.status, 0) << e.out << e.err;
    EXPECT_EQ(pil_pixels("epa.bmp"), expected_pixels(20, 3, false));
}

TEST(ReleasePeer, ReleaseThroughTheToolAndEndOfInputUnderErr) {
    testkit::WorkDir dir;
    auto img = chain_image(
        {stored(0x4080, "A.ROM", 0x800, 1), stored(0x4081, "B.ROM", 0x900, 2), stored(0x4003, "ACPI.BIN", 0x300, 3)});
    img.image.save("img.bin");
    const auto before = slurp("img.bin");

    testkit::RunResult eof = testkit::run_tool({"img.bin", "/vga", "release", "/err"}, fed(""));
    EXPECT_EQ(eof.status, 1);
    EXPECT_NE(eof.err.find("!!! Combine VGA have some error."), std::string::npos) << eof.err;
    EXPECT_EQ(slurp("img.bin"), before);

    testkit::RunResult r = testkit::run_tool({"img.bin", "/vga", "release", "/acpi", "release"}, fed("1\n"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Enter a choice:[VGA-1] ROM is release\n[ACPI] ROM is release\n"), std::string::npos) << r.out;
    const auto after = slurp("img.bin");
    const std::size_t b_span = 0x900 + 5 + 27 + 1;
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 0x10000, after.begin() + 0x10000 + b_span),
              std::vector<std::uint8_t>(before.begin() + img.positions[1], before.begin() + img.positions[1] + b_span));
    for (std::size_t i = 0x10000 + b_span; i < testkit::kChainImageAreaEnd; ++i) ASSERT_EQ(after[i], 0xFF) << i;
}
