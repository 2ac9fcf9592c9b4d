// Palette reservation and colour remapping for logo conversions.
#include "picture/logo_palette.hpp"

#include <optional>

namespace logo_palette {
namespace {

using logo_bitmap::Colour;
using logo_bitmap::SourceBitmap;

constexpr std::size_t kBlack = 0, kGrey = 7, kBlue = 9, kWhite = 15;
constexpr std::uint8_t kBlueGreen = 0, kBlueRed = 0;

// Index of the first entry of the bitmap's own palette that `match` accepts.
template <typename Match>
std::optional<std::size_t> find_entry(const SourceBitmap& source, Match match) {
    for (std::size_t i = 0; i < source.declared && i < source.palette.size(); ++i)
        if (match(source.palette[i])) return i;
    return std::nullopt;
}

// Grey: the first light entry with all four bytes equal, else mid grey.
Colour grey(const SourceBitmap& source) {
    auto i =
        find_entry(source, [](const Colour& c) { return c[0] > 99 && c[0] == c[1] && c[1] == c[2] && c[2] == c[3]; });
    const std::uint8_t v = i ? source.palette[*i][0] : 0x80;
    return Colour{v, v, v, 0};
}

void reserve(TargetPalette& t, std::size_t at, const Colour& c) {
    t.entries[at] = c;
    t.taken[at] = true;
}

}  // namespace

std::uint8_t TargetPalette::place(const Colour& c) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (taken[i] && entries[i] == c) return static_cast<std::uint8_t>(i);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!taken[i]) {
            reserve(*this, i, c);
            return static_cast<std::uint8_t>(i);
        }
    return 0;
}

TargetPalette reserved_palette(const SourceBitmap& source, LogoMode mode, std::uint8_t palette_option) {
    TargetPalette t;
    t.entries.assign(source.colours(), Colour{0xFF, 0xFF, 0xFF, 0xFF});
    t.taken.assign(source.colours(), false);
    auto off = [&](std::uint8_t bit) { return (palette_option & bit) != 0; };

    if (mode == LogoMode::Epa) {
        if (!off(logo_option::kNoGrey)) reserve(t, kGrey, grey(source));
        if (!off(logo_option::kNoBlue)) {
            auto i = find_entry(source, [](const Colour& c) { return c[0] > 199 && c[1] < 51 && c[2] < 51; });
            reserve(t, kBlue, i ? source.palette[*i] : Colour{0xFF, kBlueGreen, kBlueRed, 0});
        }
    }
    if (!off(logo_option::kNoBlack)) {
        auto i = find_entry(source, [](const Colour& c) { return c[0] < 41 && c[1] < 41 && c[2] < 41; });
        reserve(t, kBlack, i ? source.palette[*i] : Colour{0, 0, 0, 0});
    }
    if (source.colours() == 16 && !off(logo_option::kNoGreyWhiteOrStrip)) {
        if (!off(logo_option::kNoGrey)) reserve(t, kGrey, grey(source));
        if (!off(logo_option::kNoWhite)) reserve(t, kWhite, Colour{0xFF, 0xFF, 0xFF, 0});
    }
    return t;
}

std::vector<std::uint8_t> remap_indices(const SourceBitmap& source, TargetPalette& target) {
    std::vector<std::uint8_t> map(source.colours(), 0);
    std::vector<bool> seen(source.colours(), false);
    for (std::size_t r = 0; r < source.height; ++r)
        for (std::size_t x = 0; x < source.width; ++x) {
            const std::uint8_t i = source.index(r, x);
            if (seen[i]) continue;
            seen[i] = true;
            map[i] = target.place(source.palette[i]);
        }
    return map;
}

}  // namespace logo_palette
