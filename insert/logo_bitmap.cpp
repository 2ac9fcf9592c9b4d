// Windows bitmap reading and checking for the logo conversions.
#include "insert/logo_bitmap.hpp"

#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "insert/logo.hpp"

namespace logo_bitmap {
namespace {

// The largest info header taken (V5 is 124 bytes); more means a damaged file.
constexpr std::uint32_t kMaxInfoSize = 1024;

}  // namespace

std::optional<SourceBitmap> read_source_bitmap(const std::string& path,
                                               std::string_view depth_message) {
    File file(path, "rb");
    if (!file.is_open()) {
        console::conf(" !! Can't open BMP file %s !!\n", path.c_str());
        return std::nullopt;
    }
    const std::int64_t file_size = file.size();
    std::array<std::uint8_t, kHeaderBytes> header{};
    const std::size_t got = file.read_at(0, header);
    if (got < kDepthTestBytes) {
        console::conf(" !! %s is not a Windows BMP file !!\n", path.c_str());
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
        console::conf(" !! %s is not a Windows BMP file !!\n", path.c_str());
        return std::nullopt;
    }

    const auto width = static_cast<std::int32_t>(bytes::le32(&header[kWidthAt]));
    const auto height = static_cast<std::int32_t>(bytes::le32(&header[kHeightAt]));
    if (width <= 0 || height <= 0 || static_cast<std::uint32_t>(width) > kMaxLogoSide ||
        static_cast<std::uint32_t>(height) > kMaxLogoSide) {
        console::conf(" !! %s: BMP size %dx%d not supported (1 to %u each way) !!\n",
                      path.c_str(), static_cast<int>(width), static_cast<int>(height),
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
    const std::uint64_t size = file_size < 0 ? 0 : static_cast<std::uint64_t>(file_size);
    const std::uint64_t row_bytes = std::uint64_t{bmp.stride} * bmp.height;
    if (data_offset >= size) {
        console::conf(" !! %s: BMP data offset %llu past the file's end (%llu bytes) !!\n",
                      path.c_str(), static_cast<unsigned long long>(data_offset),
                      static_cast<unsigned long long>(size));
        return std::nullopt;
    }
    const std::uint64_t palette_room = data_offset > palette_at ? data_offset - palette_at : 0;
    if (palette_room / 4 < declared) {
        console::conf(" !! %s: BMP palette holds %llu of its %zu colors !!\n", path.c_str(),
                      static_cast<unsigned long long>(palette_room / 4), declared);
        return std::nullopt;
    }
    if (size - data_offset < row_bytes) {
        console::conf(" !! %s: BMP file is %llu bytes, its rows need %llu !!\n", path.c_str(),
                      static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(data_offset + row_bytes));
        return std::nullopt;
    }

    std::vector<std::uint8_t> raw(declared * 4);
    bmp.rows.resize(row_bytes);
    if (file.read_at(static_cast<std::int64_t>(palette_at), raw) != raw.size() ||
        file.read_at(static_cast<std::int64_t>(data_offset), bmp.rows) != bmp.rows.size()) {
        console::conf(" !! Can't read BMP file %s !!\n", path.c_str());
        return std::nullopt;
    }
    bmp.declared = declared;
    bmp.palette.assign(colours, Colour{0xFF, 0xFF, 0xFF, 0xFF});
    for (std::size_t i = 0; i < declared; ++i)
        for (std::size_t b = 0; b < 4; ++b) bmp.palette[i][b] = raw[i * 4 + b];
    return bmp;
}

void report_too_large(const std::string& path, const SourceBitmap& bmp, std::size_t pixel_bytes) {
    console::conf(" !! %s: %ux%u needs %zu KB, a BIOS logo holds %u KB !!\n", path.c_str(),
                  bmp.width, bmp.height, (pixel_bytes + 1023) / 1024, kMaxLogoPixelBytes / 1024);
}

}  // namespace logo_bitmap
