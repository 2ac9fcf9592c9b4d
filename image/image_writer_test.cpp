// A write of the image that fails is reported and ends the run; it is never
// taken for success.
#include "image/image_writer.hpp"

#include <gtest/gtest.h>

#include "common/fatal.hpp"
#include "image/bios_image.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/workdir.hpp"

TEST(ImageWriter, AFailedWriteEndsTheRun) {
    testkit::WorkDir dir;
    testkit::SyntheticImage(128 * testkit::KB).save("img.bin");
    std::optional<BiosImage> image = open_image("img.bin", false);
    ASSERT_TRUE(image);
    image->file = File("img.bin", "rb");  // a handle that cannot write
    const std::uint8_t byte[1] = {0};
    for (std::uint64_t at : {std::uint64_t{0x100}, std::uint64_t{128 * testkit::KB}}) {  // inside, and past the end
        try {
            write_image(*image, at, byte);
            finish_image_writes(*image);
            ADD_FAILURE() << "no fatal error at " << at;
        } catch (const FatalError& e) {
            EXPECT_EQ(e.message, "Can't write img.bin");
        }
    }
}
