// Windows bitmap to LogoImage: the logo and EPA conversions (frame, reserved
// colours, remapping, strip) and the plain OSB conversion.
#include <algorithm>
#include <utility>

#include "common/bytes.hpp"
#include "picture/logo.hpp"
#include "picture/logo_bitmap.hpp"
#include "picture/logo_format.hpp"
#include "picture/logo_palette.hpp"
#include "picture/logo_strip.hpp"

namespace {

using logo_bitmap::Colour;
using logo_bitmap::SourceBitmap;

constexpr std::string_view kLogoDepthMessage = " !! BMP colors not support (Only support 16 & 256 colors) !!\n";
constexpr std::string_view kOsbDepthMessage = " !! Unsupport this color mode in OSB (Only 16 or 256 colors) !!\n";

// The screen a boot logo is framed to.
constexpr std::size_t kFrameWidth = 640, kFrameHeight = 480;
// A framed logo shorter than this leaves room for the strip below it.
constexpr std::size_t kStripClearHeight = 465;

// Where the picture's rows go in the LogoImage's pixel area.
struct Placement {
    std::size_t width = 0, height = 0;  // stored in the header
    std::size_t row_bytes = 0;          // R
    std::size_t top = 0, left = 0;      // margins of a framed picture
};

std::vector<std::uint8_t> start_image(const Placement& at, std::size_t palette_bytes,
                                      std::optional<OsbPosition> position) {
    std::vector<std::uint8_t> image(logo_format::kPixelsAt + at.row_bytes * at.height +
                                    logo_format::kPaletteMarker.size() + palette_bytes);
    if (position) {
        bytes::put16(&image[logo_format::kMagicAt], static_cast<std::uint16_t>(position->x));
        bytes::put16(&image[logo_format::kMagicAt + 2], static_cast<std::uint16_t>(position->y));
    } else {
        std::copy(logo_format::kMagic.begin(), logo_format::kMagic.end(), image.begin());
    }
    bytes::put16(&image[logo_format::kWidthAt], static_cast<std::uint16_t>(at.width));
    bytes::put16(&image[logo_format::kHeightAt], static_cast<std::uint16_t>(at.height));
    return image;
}

// Puts the source rows (bottom row first in the file) top row first into
// the pixel area, each pixel's index through `map`.
void place_rows(const SourceBitmap& bmp, const Placement& at, const std::vector<std::uint8_t>& map,
                std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> indices(bmp.width);
    for (std::size_t r = 0; r < bmp.height; ++r) {
        for (std::size_t x = 0; x < bmp.width; ++x) indices[x] = map[bmp.index(r, x)];
        const std::size_t out_row = at.top + (bmp.height - 1 - r);
        std::uint8_t* row = image.data() + logo_format::kPixelsAt + out_row * at.row_bytes;
        if (bmp.bits == 8)
            std::copy(indices.begin(), indices.end(), row + at.left);
        else
            logo_format::pack_planes(indices, std::span<std::uint8_t>(row, at.row_bytes));
    }
}

// "RGB " and the palette behind the pixel area: 256 colours red, green,
// blue; 16 colours blue, green, red; 8-bit values shifted right by 2.
void put_palette(const std::vector<Colour>& palette, std::vector<std::uint8_t>& image) {
    const std::size_t count = palette.size();
    std::size_t at = image.size() - count * 3 - logo_format::kPaletteMarker.size();
    for (char c : logo_format::kPaletteMarker) image[at++] = static_cast<std::uint8_t>(c);
    for (const Colour& c : palette) {
        const bool rgb = count == 256;
        image[at++] = static_cast<std::uint8_t>((rgb ? c[2] : c[0]) >> 2);
        image[at++] = static_cast<std::uint8_t>(c[1] >> 2);
        image[at++] = static_cast<std::uint8_t>((rgb ? c[0] : c[2]) >> 2);
    }
}

// The strip over the first 640 bytes of each of the last 16 rows.
void put_strip(const Placement& at, std::vector<std::uint8_t>& image) {
    const auto strip = logo_strip::expand();
    for (std::size_t y = 0; y < logo_strip::kHeight; ++y) {
        const std::size_t out_row = at.height - logo_strip::kHeight + y;
        std::copy_n(strip.begin() + static_cast<std::ptrdiff_t>(y * logo_strip::kWidth), logo_strip::kWidth,
                    image.begin() + static_cast<std::ptrdiff_t>(logo_format::kPixelsAt + out_row * at.row_bytes));
    }
}

LogoConversion finish(const SourceBitmap& bmp, std::vector<std::uint8_t> image) {
    return {bmp.bits == 8 ? LogoColours::Colours256 : LogoColours::Colours16, std::move(image)};
}

bool too_large(const std::string& name, const SourceBitmap& bmp, const Placement& at) {
    const std::size_t pixel_bytes = at.row_bytes * at.height;
    if (pixel_bytes <= kMaxLogoPixelBytes) return false;
    logo_bitmap::report_too_large(name, bmp, pixel_bytes);
    return true;
}

}  // namespace

LogoConversion logo_convert(std::span<const std::uint8_t> bitmap, const std::string& name, LogoMode mode,
                            std::uint8_t palette_option, bool no_reserve) {
    const auto bmp = logo_bitmap::read_source_bitmap(bitmap, name, kLogoDepthMessage);
    if (!bmp) return {};

    // A 256-colour boot logo smaller than the screen is framed to 640 x 480
    // and centred. A taller one keeps all its rows; a wider one all its
    // columns (then only centred the other way).
    const bool framed =
        bmp->bits == 8 && mode == LogoMode::Logo && (bmp->height < kFrameHeight || bmp->width < kFrameWidth);
    Placement at;
    at.width = bmp->width;
    at.height = bmp->height;
    at.row_bytes = bmp->bits == 8 ? logo_format::row_bytes_256(bmp->width) : logo_format::row_bytes_16(bmp->width);
    if (framed && bmp->width < kFrameWidth) {
        at.width = at.row_bytes = kFrameWidth;
        at.left = (kFrameWidth - bmp->width) / 2;  // the right margin takes an odd byte
    }
    if (framed && bmp->height < kFrameHeight) {
        at.height = kFrameHeight;
        at.top = (kFrameHeight - bmp->height) / 2;
    }
    if (too_large(name, *bmp, at)) return {};

    std::vector<Colour> palette = bmp->palette;
    std::vector<std::uint8_t> map(bmp->colours());
    for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint8_t>(i);
    if (!no_reserve) {
        auto reserved = logo_palette::reserved_palette(*bmp, mode, palette_option);
        map = logo_palette::remap_indices(*bmp, reserved);
        palette = reserved.entries;
    }

    auto image = start_image(at, palette.size() * 3, std::nullopt);
    place_rows(*bmp, at, map, image);
    if (framed && !(palette_option & logo_option::kNoGreyWhiteOrStrip) &&
        (bmp->height < kStripClearHeight || bmp->width < kFrameWidth))
        put_strip(at, image);
    put_palette(palette, image);
    return finish(*bmp, std::move(image));
}

LogoConversion osb_convert(std::span<const std::uint8_t> bitmap, const std::string& name,
                           std::optional<OsbPosition> position) {
    const auto bmp = logo_bitmap::read_source_bitmap(bitmap, name, kOsbDepthMessage);
    if (!bmp) return {};

    Placement at;
    at.width = bmp->width;
    at.height = bmp->height;
    at.row_bytes = bmp->bits == 8 ? bmp->width : logo_format::row_bytes_16(bmp->width);
    if (too_large(name, *bmp, at)) return {};

    std::vector<std::uint8_t> identity(bmp->colours());
    for (std::size_t i = 0; i < identity.size(); ++i) identity[i] = static_cast<std::uint8_t>(i);
    auto image = start_image(at, bmp->palette.size() * 3, position);
    place_rows(*bmp, at, identity, image);
    put_palette(bmp->palette, image);
    return finish(*bmp, std::move(image));
}
