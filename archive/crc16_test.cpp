// CRC-16 known answers.
#include <gtest/gtest.h>

#include <string_view>

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
}

}  // namespace
