// The places' words read back as the places they name, and nothing else does.
#include <gtest/gtest.h>

#include "image/components.hpp"

namespace {

TEST(Places, EachWordReadsBackAsItsPlaceAndNoOtherWordIsOne) {
    for (std::size_t i = 0; i < kPlaces; ++i) {
        const Place place = static_cast<Place>(i);
        EXPECT_EQ(place_row(place).place, place);
        EXPECT_EQ(place_of_word(place_word(place)), place) << place_word(place);
    }
    for (const char* word : {"", "BIOS", "system_bios", "boot_block", "top_block", "chain "})
        EXPECT_EQ(place_of_word(word), std::nullopt) << word;
    EXPECT_EQ(place_words(), "bios, chain, top, boot_vga or memory");
}

}  // namespace
