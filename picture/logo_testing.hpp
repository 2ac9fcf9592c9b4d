// Test helpers for the logo conversions: the PIL peer (picture/logo_peer.py,
// run as a child process), the conversions from file to file that the
// comparisons with the peer go through, and a reader of LogoImage bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/bytes.hpp"
#include "picture/logo.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace logo_testing {

// A conversion's result: an image exactly when it did not fail. The image
// is written as `target` (nothing is written on failure).
inline LogoColours write_result(const LogoConversion& done, const std::string& target) {
    EXPECT_EQ(done.image.empty(), done.colours == LogoColours::Failed) << target;
    if (done.colours != LogoColours::Failed) testkit::spit(target, done.image);
    return done.colours;
}

// logo_convert from the bitmap file `source` to the LogoImage file `target`.
inline LogoColours convert_file(const std::string& source, const std::string& target, LogoMode mode,
                                std::uint8_t palette_option, bool no_reserve) {
    return write_result(logo_convert(testkit::slurp(source), source, mode, palette_option, no_reserve), target);
}

// osb_convert from the bitmap file `source` to the LogoImage file `target`.
inline LogoColours osb_file(const std::string& source, const std::string& target, std::optional<OsbPosition> position) {
    return write_result(osb_convert(testkit::slurp(source), source, position), target);
}

// logo_to_bmp on the LogoImage file `file`, the bitmap written over it;
// false (the file as it was) when refused.
inline bool to_bmp_file(const std::string& file) {
    const auto bitmap = logo_to_bmp(testkit::slurp(file), file);
    if (bitmap) testkit::spit(file, *bitmap);
    return bitmap.has_value();
}

// Runs the peer with `args`; throws with its error text when it fails.
inline std::string peer(const std::vector<std::string>& args) {
    std::vector<std::string> all{MOZAIK_SOURCE_DIR "/picture/logo_peer.py"};
    all.insert(all.end(), args.begin(), args.end());
    const auto r = testkit::run_program("/usr/bin/python3", all);
    if (r.status != 0) throw std::runtime_error("logo_peer.py failed: " + r.err);
    return r.out;
}

// A picture as PIL reads it.
struct PeerPicture {
    int width = 0, height = 0;
    std::string mode;                 // "P" for a palette bitmap
    std::vector<std::uint8_t> rgb;    // 3 bytes a pixel, top row first
    std::vector<std::uint8_t> index;  // palette indices (empty unless "P")

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
    const std::uint8_t* palette(std::size_t i) const { return &data[8 + height() * row_bytes + 4 + 3 * i]; }
};

inline LogoView read_logo(const std::string& path, std::size_t row_bytes) {
    return LogoView{testkit::slurp(path), row_bytes};
}

}  // namespace logo_testing
