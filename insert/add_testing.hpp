// Test helpers for the add: the chain of a saved image read back
// independently of the tool, and the tool run on "img.bin".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/extract_kit.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace add_testing {

struct Member {
    std::uint32_t position = 0;
    std::uint16_t segment = 0, offset = 0;
    std::string method, name;
    std::vector<std::uint8_t> bytes;  // header and data: a one-member archive without its end byte
    std::vector<std::uint8_t> data() const { return {bytes.begin() + bytes[0] + 2, bytes.end()}; }
};

inline std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The members from `start` (H + P + 3 bytes each) up to erased space.
inline std::vector<Member> chain_of(const std::vector<std::uint8_t>& img, std::uint32_t start = testkit::kChainStart) {
    std::vector<Member> out;
    for (std::uint32_t at = start; at + 22 < img.size() && img[at + 2] == '-' && img[at + 3] == 'l';) {
        Member m;
        m.position = at;
        m.offset = static_cast<std::uint16_t>(img[at + 15] | img[at + 16] << 8);
        m.segment = static_cast<std::uint16_t>(img[at + 17] | img[at + 18] << 8);
        m.method.assign(img.begin() + at + 2, img.begin() + at + 7);
        m.name.assign(img.begin() + at + 22, img.begin() + at + 22 + img[at + 21]);
        const std::uint32_t length = img[at] + 2 + le32(img, at + 7);
        m.bytes.assign(img.begin() + at, img.begin() + at + length);
        out.push_back(m);
        at += length + 1;
    }
    return out;
}

inline std::vector<std::uint16_t> segments(const std::vector<Member>& chain) {
    std::vector<std::uint16_t> s;
    for (const Member& m : chain) s.push_back(m.segment);
    return s;
}

// Runs the tool on img.bin with `args` after it.
inline testkit::RunResult tool(std::vector<std::string> args) {
    args.insert(args.begin(), "img.bin");
    testkit::RunOptions o;
    o.unset_env = {"_last"};
    return testkit::run_tool(args, o);
}

}  // namespace add_testing
