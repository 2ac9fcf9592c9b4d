// Test vectors are read from the repository itself, and a missing one fails
// with its name instead of reading as an empty list.
#include "testkit/workdir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

TEST(TestData, VectorsComeFromTheRepositoryAndAMissingOneIsNamed) {
    const std::string path = testkit::testdata("lh5-streams/MANIFEST.tsv");
    const auto inside =
        std::filesystem::canonical(path).lexically_relative(std::filesystem::canonical(MOZAIK_SOURCE_DIR));
    EXPECT_EQ(inside, std::filesystem::path("testdata/lh5-streams/MANIFEST.tsv"));

    for (const char* missing : {"lh5-streams/no-such-vector.lh5", "lh5-streams"}) {
        SCOPED_TRACE(missing);
        try {
            testkit::testdata(missing);
            ADD_FAILURE() << "expected an error naming the missing file";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("testdata/") + missing), std::string::npos) << e.what();
        }
    }
}
