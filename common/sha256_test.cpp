// SHA-256 through the processor's instructions and through the portable
// rounds: known digests on both, and the same digest of every length.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/sha256.hpp"

namespace {

// Fed in pieces of 37 bytes, which cross the block buffer.
std::string in_pieces(std::span<const std::uint8_t> data, Sha256Path path) {
    Sha256 h(path);
    for (std::size_t at = 0; at < data.size(); at += 37)
        h.update(data.subspan(at, std::min<std::size_t>(37, data.size() - at)));
    return h.hex_digest();
}

std::string whole(std::span<const std::uint8_t> data, Sha256Path path) {
    Sha256 h(path);
    h.update(data);
    return h.hex_digest();
}

TEST(Sha256Paths, KnownDigestsAndEveryLengthAlike) {
    const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::pair<std::vector<std::uint8_t>, const char*> known[] = {
        {{}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {{two_blocks.begin(), two_blocks.end()}, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::vector<std::uint8_t>(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Sha256Path path : {Sha256Path::Portable, Sha256Path::Fastest})
        for (const auto& [data, digest] : known) {
            const bool portable = path == Sha256Path::Portable;
            EXPECT_EQ(whole(data, path), digest) << data.size() << " bytes, portable " << portable;
            EXPECT_EQ(in_pieces(data, path), digest) << data.size() << " bytes in pieces, portable " << portable;
        }
    if (!sha256_has_instructions()) GTEST_SKIP() << "this processor has no SHA instructions";
    std::mt19937 random(7);
    std::vector<std::uint8_t> data(5000);
    for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random());
    // Every length over the first blocks and the padding's edge, then many blocks.
    for (std::size_t n = 0; n <= data.size(); n += n < 200 ? 1 : 601) {
        const std::span<const std::uint8_t> part = std::span(data).first(n);
        const std::string with_instructions = sha256_hex(part);
        EXPECT_EQ(whole(part, Sha256Path::Portable), with_instructions) << n << " bytes";
        EXPECT_EQ(in_pieces(part, Sha256Path::Portable), with_instructions) << n << " bytes in pieces";
    }
}

}  // namespace
