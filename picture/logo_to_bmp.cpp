// LogoImage back to a Windows bitmap, in memory; and whether bytes are a LogoImage.
#include <algorithm>

#include "common/bytes.hpp"
#include "common/console.hpp"
#include "picture/logo.hpp"
#include "picture/logo_format.hpp"

namespace {

constexpr std::size_t kBmpHeaderBytes = 54;
constexpr std::uint32_t kPixelsPerMetre = 3780;  // 96 dots an inch

// How a LogoImage's rows are laid out, as found from its "RGB " marker.
struct Layout {
    std::size_t colours = 0;    // 16 or 256
    std::size_t row_bytes = 0;  // R
};

bool marker_at(std::span<const std::uint8_t> data, std::size_t at) {
    if (at > data.size() || data.size() - at < 4) return false;
    auto upper = [](std::uint8_t c) { return static_cast<std::uint8_t>(c & ~0x20); };
    return upper(data[at]) == 'R' && upper(data[at + 1]) == 'G' && upper(data[at + 2]) == 'B' && data[at + 3] == ' ';
}

// The colour depth and row length whose "RGB " marker stands behind the
// rows with the whole palette after it: a 256-colour picture (rows of the
// width rounded up to 8, or the width itself as the OSB conversion writes
// them), else a 16-colour one. A file of exactly the expected size wins over
// one with bytes left over.
std::optional<Layout> find_layout(std::span<const std::uint8_t> data, std::size_t w, std::size_t h) {
    const Layout candidates[] = {{256, logo_format::row_bytes_256(w)}, {256, w}, {16, logo_format::row_bytes_16(w)}};
    for (bool exact : {true, false})
        for (const Layout& c : candidates) {
            const std::size_t marker = logo_format::kPixelsAt + c.row_bytes * h;
            const std::size_t end = marker + 4 + c.colours * 3;
            if (marker_at(data, marker) && (exact ? data.size() == end : data.size() >= end)) return c;
        }
    return std::nullopt;
}

// The bitmap of a LogoImage: header, palette, rows bottom-up at a 4-byte stride.
std::vector<std::uint8_t> make_bitmap(std::span<const std::uint8_t> data, std::size_t w, std::size_t h,
                                      const Layout& layout) {
    const unsigned bits = layout.colours == 256 ? 8 : 4;
    const std::size_t stride = ((w * bits + 31) / 32) * 4;
    const std::size_t palette_bytes = layout.colours * 4;
    const std::size_t image_bytes = stride * h;
    std::vector<std::uint8_t> bmp(kBmpHeaderBytes + palette_bytes + image_bytes, 0);

    bmp[0] = 'B';
    bmp[1] = 'M';
    bytes::put32(&bmp[2], static_cast<std::uint32_t>(bmp.size()));
    bytes::put32(&bmp[10], static_cast<std::uint32_t>(kBmpHeaderBytes + palette_bytes));
    bytes::put32(&bmp[14], 40);
    bytes::put32(&bmp[18], static_cast<std::uint32_t>(w));
    bytes::put32(&bmp[22], static_cast<std::uint32_t>(h));
    bytes::put16(&bmp[26], 1);
    bytes::put16(&bmp[28], static_cast<std::uint16_t>(bits));
    bytes::put32(&bmp[34], static_cast<std::uint32_t>(image_bytes));
    bytes::put32(&bmp[38], kPixelsPerMetre);
    bytes::put32(&bmp[42], kPixelsPerMetre);

    // The palette stands right behind the marker: 256 colours red, green,
    // blue; 16 colours blue, green, red; 0-63 each.
    const std::size_t pixels_end = logo_format::kPixelsAt + layout.row_bytes * h;
    const std::uint8_t* pal = data.data() + pixels_end + 4;
    for (std::size_t i = 0; i < layout.colours; ++i) {
        const std::uint8_t* e = pal + i * 3;
        const bool rgb = layout.colours == 256;
        std::uint8_t* out = &bmp[kBmpHeaderBytes + i * 4];
        out[0] = static_cast<std::uint8_t>((rgb ? e[2] : e[0]) << 2);
        out[1] = static_cast<std::uint8_t>(e[1] << 2);
        out[2] = static_cast<std::uint8_t>((rgb ? e[0] : e[2]) << 2);
    }

    std::vector<std::uint8_t> indices(w);
    for (std::size_t i = 0; i < h; ++i) {
        const std::uint8_t* src = data.data() + logo_format::kPixelsAt + layout.row_bytes * (h - 1 - i);
        std::uint8_t* dst = &bmp[kBmpHeaderBytes + palette_bytes + i * stride];
        if (bits == 8) {
            std::copy_n(src, std::min(w, layout.row_bytes), dst);
            continue;
        }
        logo_format::unpack_planes(std::span<const std::uint8_t>(src, layout.row_bytes), indices);
        for (std::size_t x = 0; x < w; ++x)
            dst[x / 2] |= static_cast<std::uint8_t>(x % 2 ? indices[x] : indices[x] << 4);
    }
    return bmp;
}

std::optional<Layout> layout_of(std::span<const std::uint8_t> logo) {
    const auto w = bytes::get16(logo, logo_format::kWidthAt);
    const auto h = bytes::get16(logo, logo_format::kHeightAt);
    return w && h && *w && *h ? find_layout(logo, *w, *h) : std::nullopt;
}

}  // namespace

bool is_logo_image(std::span<const std::uint8_t> logo) {
    return logo.size() <= kMaxLogoImageBytes && layout_of(logo).has_value();
}

std::optional<std::vector<std::uint8_t>> logo_to_bmp(std::span<const std::uint8_t> logo, const std::string& name) {
    if (logo.size() > kMaxLogoImageBytes) {
        console::conf(" !! Can't read logo file %s !!\n", name.c_str());
        return std::nullopt;
    }
    const std::optional<Layout> layout = layout_of(logo);
    if (!layout) {
        console::conf(" !! %s is not a BIOS logo picture (no palette behind its rows) !!\n", name.c_str());
        return std::nullopt;
    }
    return make_bitmap(logo, *bytes::get16(logo, logo_format::kWidthAt), *bytes::get16(logo, logo_format::kHeightAt),
                       *layout);
}
