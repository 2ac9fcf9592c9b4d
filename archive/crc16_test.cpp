// CRC-16 known answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "archive/crc16.hpp"

namespace {

std::uint16_t crc_of(std::string_view text) {
    return crc16::update(0, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(Crc16, PublishedValues) {
    EXPECT_EQ(crc16::kTable[1], 0xC0C1);
    EXPECT_EQ(crc16::kTable[128], 0xA001);
    EXPECT_EQ(crc16::kTable[255], 0x4040);
    EXPECT_EQ(crc_of("123456789"), 0xBB3D);
    EXPECT_EQ(crc_of(""), 0);
}

TEST(Crc16, RunningValueCarriesAcrossPieces) {
    const std::string_view text = "123456789";
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::uint16_t c = crc16::update(0, std::span(p, 4));
    c = crc16::update(c, std::span(p + 4, 5));
    EXPECT_EQ(c, 0xBB3D);

    // 1000 bytes ((i * 37 + 11) mod 256), whole and in pieces that start and
    // end anywhere within the sixteen bytes taken at a time.
    std::vector<std::uint8_t> long_input(1000);
    for (std::size_t i = 0; i < long_input.size(); ++i) long_input[i] = static_cast<std::uint8_t>(i * 37 + 11);
    EXPECT_EQ(crc16::update(0, long_input), 0x3CED);
    for (std::size_t piece : {1, 7, 15, 16, 17, 33, 999}) {
        std::uint16_t running = 0;
        for (std::size_t at = 0; at < long_input.size(); at += piece)
            running =
                crc16::update(running, std::span(long_input).subspan(at, std::min(piece, long_input.size() - at)));
        EXPECT_EQ(running, 0x3CED) << piece;
    }
}

}  // namespace
