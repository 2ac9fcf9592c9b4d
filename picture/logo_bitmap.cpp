// Windows bitmap reading and checking for the logo conversions.
#include "picture/logo_bitmap.hpp"

#include <algorithm>

#include "common/bytes.hpp"
#include "common/console.hpp"
#include "picture/logo.hpp"

namespace logo_bitmap {
namespace {

// The largest info header taken (V5 is 124 bytes); more means a damaged file.
constexpr std::uint32_t kMaxInfoSize = 1024;

// The `count` bytes of `file` at `at`, or fewer when the file ends first.
std::span<const std::uint8_t> within(std::span<const std::uint8_t> file, std::uint64_t at, std::uint64_t count) {
    if (at >= file.size()) return {};
    return file.subspan(static_cast<std::size_t>(at),
                        static_cast<std::size_t>(std::min<std::uint64_t>(count, file.size() - at)));
}

// The header fields the conversions read, checked.
struct BitmapHeader {
    std::uint16_t bits = 0;
    std::uint32_t width = 0, height = 0;
    std::uint32_t info_size = 0;
    std::uint32_t colours_used = 0;
    std::uint64_t data_offset = 0;
};

// The header, or nothing after its message: the depth test comes first (4
// or 8 bits a pixel, and no compression: run-length coded rows cannot be
// placed row by row), then the file's kind and the picture's size.
std::optional<BitmapHeader> read_header(std::span<const std::uint8_t> file, const char* shown,
                                        std::string_view depth_message) {
    // A header cut short reads as zeros past the file's end.
    std::array<std::uint8_t, kHeaderBytes> header{};
    const std::size_t got = std::min(file.size(), header.size());
    std::copy_n(file.begin(), got, header.begin());
    if (got < kDepthTestBytes) {
        console::conf(" !! %s is not a Windows BMP file !!\n", shown);
        return std::nullopt;
    }
    BitmapHeader h;
    h.bits = bytes::le16(&header[kBitsAt]);
    const std::uint32_t compression = got >= kCompressionAt + 4 ? bytes::le32(&header[kCompressionAt]) : 0;
    if ((h.bits != 4 && h.bits != 8) || compression != 0) {
        console::out(depth_message);
        return std::nullopt;
    }
    h.info_size = bytes::le32(&header[kInfoSizeAt]);
    if (got < kHeaderBytes || header[0] != 'B' || header[1] != 'M' || h.info_size < 40 || h.info_size > kMaxInfoSize) {
        console::conf(" !! %s is not a Windows BMP file !!\n", shown);
        return std::nullopt;
    }
    const auto width = static_cast<std::int32_t>(bytes::le32(&header[kWidthAt]));
    const auto height = static_cast<std::int32_t>(bytes::le32(&header[kHeightAt]));
    if (width <= 0 || height <= 0 || static_cast<std::uint32_t>(width) > kMaxLogoSide ||
        static_cast<std::uint32_t>(height) > kMaxLogoSide) {
        console::conf(" !! %s: BMP size %dx%d not supported (1 to %u each way) !!\n", shown, static_cast<int>(width),
                      static_cast<int>(height), kMaxLogoSide);
        return std::nullopt;
    }
    h.width = static_cast<std::uint32_t>(width);
    h.height = static_cast<std::uint32_t>(height);
    h.colours_used = bytes::le32(&header[kColoursUsedAt]);
    h.data_offset = bytes::le32(&header[kDataOffsetAt]);
    return h;
}

// Whether the data offset, the palette's `declared` colours and the rows
// lie inside the file; a message when not.
bool layout_fits(std::span<const std::uint8_t> file, const char* shown, const BitmapHeader& h, std::size_t declared,
                 std::uint64_t row_bytes) {
    const std::uint64_t palette_at = kInfoSizeAt + std::uint64_t{h.info_size};
    const std::uint64_t size = file.size();
    if (h.data_offset >= size) {
        console::conf(" !! %s: BMP data offset %llu past the file's end (%llu bytes) !!\n", shown,
                      static_cast<unsigned long long>(h.data_offset), static_cast<unsigned long long>(size));
        return false;
    }
    const std::uint64_t palette_room = h.data_offset > palette_at ? h.data_offset - palette_at : 0;
    if (palette_room / 4 < declared) {
        console::conf(" !! %s: BMP palette holds %llu of its %zu colors !!\n", shown,
                      static_cast<unsigned long long>(palette_room / 4), declared);
        return false;
    }
    if (size - h.data_offset < row_bytes) {
        console::conf(" !! %s: BMP file is %llu bytes, its rows need %llu !!\n", shown,
                      static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(h.data_offset + row_bytes));
        return false;
    }
    return true;
}

}  // namespace

std::optional<SourceBitmap> read_source_bitmap(std::span<const std::uint8_t> file, const std::string& name,
                                               std::string_view depth_message) {
    const char* shown = name.c_str();
    const std::optional<BitmapHeader> h = read_header(file, shown, depth_message);
    if (!h) return std::nullopt;
    SourceBitmap bmp;
    bmp.width = h->width;
    bmp.height = h->height;
    bmp.bits = h->bits;
    bmp.stride = ((std::size_t{bmp.width} * h->bits + 31) / 32) * 4;
    const std::size_t colours = std::size_t{1} << h->bits;
    const std::size_t declared = h->colours_used == 0 || h->colours_used > colours ? colours : h->colours_used;
    const std::uint64_t row_bytes = std::uint64_t{bmp.stride} * bmp.height;
    if (!layout_fits(file, shown, *h, declared, row_bytes)) return std::nullopt;
    const std::uint64_t palette_at = kInfoSizeAt + std::uint64_t{h->info_size};
    const std::uint64_t data_offset = h->data_offset;

    // The checks above keep both inside the file; taken through subspan
    // bounds all the same.
    const std::span<const std::uint8_t> raw = within(file, palette_at, declared * 4);
    const std::span<const std::uint8_t> rows = within(file, data_offset, row_bytes);
    if (raw.size() != declared * 4 || rows.size() != row_bytes) {
        console::conf(" !! Can't read BMP file %s !!\n", shown);
        return std::nullopt;
    }
    bmp.rows.assign(rows.begin(), rows.end());
    bmp.declared = declared;
    bmp.palette.assign(colours, Colour{0xFF, 0xFF, 0xFF, 0xFF});
    for (std::size_t i = 0; i < declared; ++i)
        for (std::size_t b = 0; b < 4; ++b) bmp.palette[i][b] = raw[i * 4 + b];
    return bmp;
}

void report_too_large(const std::string& name, const SourceBitmap& bmp, std::size_t pixel_bytes) {
    console::conf(" !! %s: %ux%u needs %zu KB, a BIOS logo holds %u KB !!\n", name.c_str(), bmp.width, bmp.height,
                  (pixel_bytes + 1023) / 1024, kMaxLogoPixelBytes / 1024);
}

}  // namespace logo_bitmap
