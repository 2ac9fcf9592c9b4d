// The compressor against streams of the classic archivers that use the same
// algorithm (same matches, blocks and codes), byte for byte, and the decoder
// against the streams of every archiver in the test-vector folder.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "archive/lh5_decoder.hpp"
#include "archive/lh5_encoder.hpp"
#include "testkit/workdir.hpp"

namespace {

std::vector<std::string> same_algorithm_names() {
    std::ifstream list(testkit::testdata("lh5-streams/SAME_ALGORITHM.txt"));
    std::vector<std::string> names;
    for (std::string line; std::getline(list, line);)
        if (!line.empty()) names.push_back(line);
    return names;
}

TEST(Lh5Exactness, CompressorReproducesClassicArchiverStreams) {
    const auto names = same_algorithm_names();
    ASSERT_EQ(names.size(), 19u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const auto input = testkit::slurp(testkit::testdata("lh5-streams/" + name + ".out"));
        const auto expected = testkit::slurp(testkit::testdata("lh5-streams/" + name + ".lh5"));
        const Lh5Stream got = lh5_compress_buffer(input);
        ASSERT_FALSE(got.gave_up);
        ASSERT_EQ(got.data.size(), expected.size());
        EXPECT_TRUE(got.data == expected);
    }
}

}  // namespace
