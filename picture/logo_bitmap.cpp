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
std::span<const std::uint8_t> within(std::span<const std::uint8_t> file, std::uint64_t at,
                                     std::uint64_t count) {
    if (at >= file.size()) return {};
    return file.subspan(static_cast<std::size_t>(at),
                        static_cast<std::size_t>(std::min<std::uint64_t>(count, file.size() - at)));
}

}  // namespace

std::optional<SourceBitmap> read_source_bitmap(std::span<const std::uint8_t> file,
                                               const std::string& name,
                                               std::string_view depth_message) {
    const char* shown = name.c_str();
    // A header cut short reads as zeros past the file's end.
    std::array<std::uint8_t, kHeaderBytes> header{};
    const std::size_t got = std::min(file.size(), header.size());
    std::copy_n(file.begin(), got, header.begin());
    if (got < kDepthTestBytes) {
        console::conf(" !! %s is not a Windows BMP file !!\n", shown);
        return std::nullopt;
    }
    // The depth test comes first: 4 or 8 bits a pixel, and no compression
    // (run-length coded rows cannot be placed row by row).
    const std::uint16_t bits = bytes::le16(&header[kBitsAt]);
    const std::uint32_t compression =
        got >= kCompressionAt + 4 ? bytes::le32(&header[kCompressionAt]) : 0;
    if ((bits != 4 && bits != 8) || compression != 0) {
        console::out(depth_message);
        return std::nullopt;
    }
    const std::uint32_t info_size = bytes::le32(&header[kInfoSizeAt]);
    if (got < kHeaderBytes || header[0] != 'B' || header[1] != 'M' || info_size < 40 ||
        info_size > kMaxInfoSize) {
        console::conf(" !! %s is not a Windows BMP file !!\n", shown);
        return std::nullopt;
    }

    const auto width = static_cast<std::int32_t>(bytes::le32(&header[kWidthAt]));
    const auto height = static_cast<std::int32_t>(bytes::le32(&header[kHeightAt]));
    if (width <= 0 || height <= 0 || static_cast<std::uint32_t>(width) > kMaxLogoSide ||
        static_cast<std::uint32_t>(height) > kMaxLogoSide) {
        console::conf(" !! %s: BMP size %dx%d not supported (1 to %u each way) !!\n",
                      shown, static_cast<int>(width), static_cast<int>(height),
                      kMaxLogoSide);
        return std::nullopt;
    }

    SourceBitmap bmp;
    bmp.width = static_cast<std::uint32_t>(width);
    bmp.height = static_cast<std::uint32_t>(height);
    bmp.bits = bits;
    bmp.stride = ((std::size_t{bmp.width} * bits + 31) / 32) * 4;
    const std::size_t colours = std::size_t{1} << bits;
    const std::uint32_t used = bytes::le32(&header[kColoursUsedAt]);
    const std::size_t declared = used == 0 || used > colours ? colours : used;

    const std::uint64_t data_offset = bytes::le32(&header[kDataOffsetAt]);
    const std::uint64_t palette_at = kInfoSizeAt + std::uint64_t{info_size};
    const std::uint64_t size = file.size();
    const std::uint64_t row_bytes = std::uint64_t{bmp.stride} * bmp.height;
    if (data_offset >= size) {
        console::conf(" !! %s: BMP data offset %llu past the file's end (%llu bytes) !!\n",
                      shown, static_cast<unsigned long long>(data_offset),
                      static_cast<unsigned long long>(size));
        return std::nullopt;
    }
    const std::uint64_t palette_room = data_offset > palette_at ? data_offset - palette_at : 0;
    if (palette_room / 4 < declared) {
        console::conf(" !! %s: BMP palette holds %llu of its %zu colors !!\n", shown,
                      static_cast<unsigned long long>(palette_room / 4), declared);
        return std::nullopt;
    }
    if (size - data_offset < row_bytes) {
        console::conf(" !! %s: BMP file is %llu bytes, its rows need %llu !!\n", shown,
                      static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(data_offset + row_bytes));
        return std::nullopt;
    }

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
    console::conf(" !! %s: %ux%u needs %zu KB, a BIOS logo holds %u KB !!\n", name.c_str(),
                  bmp.width, bmp.height, (pixel_bytes + 1023) / 1024, kMaxLogoPixelBytes / 1024);
}

}  // namespace logo_bitmap
