// SHA-256 through the processor's instructions and through the portable
// rounds: known digests on both, and the same digest of every length and
// split of random data.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/sha256.hpp"

namespace {

// The path the process would take, put back after each test.
class Sha256Paths : public ::testing::Test {
protected:
    void TearDown() override { sha256_allow_instructions(true); }
};

std::string digest_in_pieces(const std::vector<std::uint8_t>& data, std::size_t piece) {
    Sha256 h;
    for (std::size_t at = 0; at < data.size(); at += piece)
        h.update(std::span(data).subspan(at, std::min(piece, data.size() - at)));
    return h.hex_digest();
}

TEST_F(Sha256Paths, KnownDigestsOnBothPaths) {
    const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const struct {
        std::vector<std::uint8_t> data;
        const char* digest;
    } cases[] = {
        {{}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {{'a', 'b', 'c'}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {{two_blocks.begin(), two_blocks.end()}, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::vector<std::uint8_t>(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (bool instructions : {false, true}) {
        if (sha256_allow_instructions(instructions) != instructions) continue;  // none on this processor
        for (const auto& c : cases) {
            EXPECT_EQ(sha256_hex(c.data), c.digest) << c.data.size() << " bytes, instructions " << instructions;
            EXPECT_EQ(digest_in_pieces(c.data, 37), c.digest) << c.data.size() << " bytes in pieces";
        }
    }
}

TEST_F(Sha256Paths, InstructionsGiveThePortableDigest) {
    if (!sha256_allow_instructions(true)) GTEST_SKIP() << "this processor has no SHA instructions";
    std::mt19937 random(7);
    std::vector<std::uint8_t> data(4 * 64 * 64 + 5);
    for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random());
    // Every length across the first blocks and the padding's edge, then
    // lengths of many blocks, whole and in pieces that split blocks.
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 200; ++n) lengths.push_back(n);
    for (std::size_t n : {1000u, 4096u, 4159u, 16389u}) lengths.push_back(n);
    for (std::size_t n : lengths) {
        const std::vector<std::uint8_t> part(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
        sha256_allow_instructions(false);
        const std::string portable = sha256_hex(part);
        sha256_allow_instructions(true);
        EXPECT_EQ(sha256_hex(part), portable) << n << " bytes";
        EXPECT_EQ(digest_in_pieces(part, 100), portable) << n << " bytes in pieces";
    }
}

}  // namespace
