// The one writer: only the declared ranges change, the file only at the
// end, and a write that fails is reported.
#include "image/image_writer.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>

#include "common/fatal.hpp"
#include "image/bios_image.hpp"
#include "image/image_file.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/workdir.hpp"

TEST(ImageWriter, OnlyDeclaredRangesChangeAndTheFileOnlyWhenSaved) {
    testkit::WorkDir dir;
    testkit::SyntheticImage(128 * testkit::KB).save("img.bin");
    std::optional<BiosImage> image = open_image("img.bin").image;
    ASSERT_TRUE(image);
    const std::vector<std::uint8_t> before = image->bytes;
    const std::uint8_t two[2] = {1, 2};
    ImageWriter writer(*image);
    {
        WriteScope scope(writer, {ByteRange{0x100, 0x200}});
        scope.write(0x1FE, two);
        // One byte over the range, outside any range, past the file: refused, nothing changes.
        for (std::uint64_t at : {std::uint64_t{0x1FF}, std::uint64_t{0x300}, std::uint64_t{128 * testkit::KB}}) {
            EXPECT_THROW(scope.write(at, two), FatalError) << at;
        }
        EXPECT_THROW(scope.remove(0x180, 0x10, 0x201), FatalError);
    }
    // No scope, no write: the writer hands out the image only to read.
    static_assert(std::is_same_v<decltype(writer.image()), const BiosImage&>);
    std::vector<std::uint8_t> expected = before;
    expected[0x1FE] = 1;
    expected[0x1FF] = 2;
    EXPECT_EQ(image->bytes, expected);
    EXPECT_EQ(testkit::slurp("img.bin"), before);
    save_image(*image);
    EXPECT_EQ(testkit::slurp("img.bin"), expected);

    // A file that can no longer be written ends the run.
    {
        WriteScope scope(writer, {ByteRange{0, 0x10}});
        scope.write(0, two);
    }
    std::filesystem::remove("img.bin");
    std::filesystem::create_directory("img.bin");
    try {
        save_image(*image);
        ADD_FAILURE() << "no fatal error";
    } catch (const FatalError& e) {
        EXPECT_EQ(e.message, "Can't write img.bin");
    }
}
