// The "-MIB-" document: known layouts, and the bit-16 carry of long documents.
#include "insert/mib_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
std::uint16_t word(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

TEST(MibText, KnownLayouts) {
    struct Case {
        std::string input;
        std::string body;  // bytes from offset 22 up to the table
        std::vector<std::uint16_t> table;
    };
    const std::string x80(80, 'x');
    const std::vector<Case> cases = {
        {"ab\tc\r\nline2", std::string("ab      c\0line2\0", 16), {22, 32}},
        {x80, std::string(78, 'x') + std::string("\0\0xx\0\0", 6), {22, 102}},
        {"a\n\nb\n", std::string("a\0\0\0b\0", 6), {22, 24, 26}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 20));
        const Bytes doc = mib_document(text(c.input));
        ASSERT_GE(doc.size(), 22u);
        EXPECT_EQ(std::string(doc.begin(), doc.begin() + 5), "-MIB-");
        EXPECT_EQ(doc[5], 0x0B);
        EXPECT_EQ(doc[17], 0x00);
        const std::size_t table = 22 + c.body.size();
        EXPECT_EQ(std::string(doc.begin() + 22, doc.begin() + static_cast<std::ptrdiff_t>(table)), c.body);
        EXPECT_EQ(word(doc, 18), table);
        EXPECT_EQ(word(doc, 20), doc.size());
        ASSERT_EQ(doc.size(), table + 2 * c.table.size());
        for (std::size_t i = 0; i < c.table.size(); ++i) EXPECT_EQ(word(doc, table + 2 * i), c.table[i]);
    }
}

TEST(MibText, LongDocumentsCarryBitSixteenAndStopAtTheLimit) {
    std::string lines;
    for (int i = 0; i < 1000; ++i) lines += std::string(78, 'a' + i % 26) + "\n";
    const Bytes doc = mib_document(text(lines));
    // Each line is 78 characters and two 0 bytes: line k starts at 22 + 80 k.
    ASSERT_EQ(doc.size(), 22u + 80 * 1000 + 2 * 1000);
    EXPECT_EQ(word(doc, 18), (0x13896 & 0xFFFF) | 1);
    EXPECT_EQ(word(doc, 20), (0x14066 & 0xFFFF) | 1);
    EXPECT_EQ(word(doc, 0x13896 + 2 * 818), 22 + 80 * 818);           // below 64 KB
    EXPECT_EQ(word(doc, 0x13896 + 2 * 819), (0x10006 & 0xFFFF) | 1);  // the first start past it
    // Twice as many lines do not fit: the document stops below 0x20000 bytes, whole.
    const Bytes big = mib_document(text(lines + lines));
    EXPECT_LE(big.size(), kMaxMibDocument);
    const std::size_t table = (word(big, 18) & 0xFFFE) | (word(big, 18) & 1) << 16;
    EXPECT_EQ(big.size() % 2, 0u);
    EXPECT_EQ((big.size() - table) / 2, (table - 22 + 79) / 80);  // one entry a line, the last one cut short
}

}  // namespace
