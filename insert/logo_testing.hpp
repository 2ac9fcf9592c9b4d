// Test helpers for the logo conversions: the PIL peer (insert/logo_peer.py,
// run as a child process) and a reader of LogoImage bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/bytes.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace logo_testing {

// Runs the peer with `args`; throws with its error text when it fails.
inline std::string peer(const std::vector<std::string>& args) {
    std::vector<std::string> all{MOZAIK_SOURCE_DIR "/insert/logo_peer.py"};
    all.insert(all.end(), args.begin(), args.end());
    const auto r = testkit::run_program("/usr/bin/python3", all);
    if (r.status != 0) throw std::runtime_error("logo_peer.py failed: " + r.err);
    return r.out;
}

// A picture as PIL reads it.
struct PeerPicture {
    int width = 0, height = 0;
    std::string mode;                  // "P" for a palette bitmap
    std::vector<std::uint8_t> rgb;     // 3 bytes a pixel, top row first
    std::vector<std::uint8_t> index;   // palette indices (empty unless "P")

    const std::uint8_t* pixel(int x, int y) const { return &rgb[3 * (y * width + x)]; }
};

inline std::vector<std::uint8_t> from_hex(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline PeerPicture read_with_peer(const std::string& path) {
    const std::string text = peer({"dump", path});
    PeerPicture p;
    std::size_t a = text.find('\n'), b = text.find('\n', a + 1), c = text.find('\n', b + 1);
    if (a == std::string::npos || b == std::string::npos || c == std::string::npos)
        throw std::runtime_error("short dump: " + text.substr(0, 200));
    char mode[8] = {};
    if (std::sscanf(text.c_str(), "%d %d %7s", &p.width, &p.height, mode) != 3)
        throw std::runtime_error("bad dump header");
    p.mode = mode;
    p.rgb = from_hex(text.substr(a + 1, b - a - 1));
    const std::string idx = text.substr(b + 1, c - b - 1);
    if (idx != "-") p.index = from_hex(idx);
    return p;
}

// A LogoImage file's fields.
struct LogoView {
    std::vector<std::uint8_t> data;
    std::size_t row_bytes;

    std::uint16_t width() const { return bytes::le16(&data[4]); }
    std::uint16_t height() const { return bytes::le16(&data[6]); }
    const std::uint8_t* row(std::size_t y) const { return &data[8 + y * row_bytes]; }
    // The palette entry `i` (3 bytes as stored) behind "RGB ".
    const std::uint8_t* palette(std::size_t i) const {
        return &data[8 + height() * row_bytes + 4 + 3 * i];
    }
};

inline LogoView read_logo(const std::string& path, std::size_t row_bytes) {
    return LogoView{testkit::slurp(path), row_bytes};
}

}  // namespace logo_testing
