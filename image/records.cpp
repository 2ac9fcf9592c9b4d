// Marker searches over the image's bytes.
#include "image/records.hpp"

#include <algorithm>
#include <cstring>

#include "common/bytes.hpp"

std::size_t read_window(ImageBytes image, std::uint64_t offset, std::span<std::uint8_t> buf) {
    std::size_t got = 0;
    if (offset < image.size()) {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), image.size() - offset));
        std::memcpy(buf.data(), image.data() + offset, got);
    }
    std::fill(buf.begin() + static_cast<std::ptrdiff_t>(got), buf.end(), std::uint8_t{0xFF});
    return got;
}

std::optional<std::uint32_t> find_text(ImageBytes image, std::uint32_t begin, std::uint32_t limit,
                                       std::string_view text) {
    if (text.empty() || image.size() < text.size()) return std::nullopt;
    // The last start position at which the text still lies wholly in the file.
    const std::uint64_t end = std::min<std::uint64_t>(limit, image.size() - text.size() + 1);
    // Candidates by their first byte, then the whole text.
    for (std::uint64_t i = begin; i < end; ++i) {
        const void* hit = std::memchr(image.data() + i, static_cast<unsigned char>(text[0]), end - i);
        if (!hit) break;
        i = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - image.data());
        if (bytes::has_text(image, i, text)) return static_cast<std::uint32_t>(i);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> read_u32_at(ImageBytes image, std::uint64_t offset) {
    std::uint8_t buf[4];
    if (read_window(image, offset, buf) != sizeof buf) return std::nullopt;
    return bytes::le32(buf);
}

BootRecordSearch find_boot_record(ImageBytes image, std::uint32_t top_base) {
    BootRecordSearch result;
    for (int w = 0; w < 2; ++w) {
        const std::uint64_t base = top_base + std::uint64_t{kWindowSize} * static_cast<unsigned>(w);
        // Positions 0 to 0xFFF9: the text must fit inside the window.
        if (base + kBbssText.size() > image.size()) continue;
        if (const std::optional<std::uint32_t> at = find_text(
                image, static_cast<std::uint32_t>(base), static_cast<std::uint32_t>(base + kNoBootRecord), kBbssText)) {
            result.bbss_offset = static_cast<std::uint32_t>(*at - base);
            result.window = w;
            return result;
        }
    }
    return result;
}

std::optional<std::uint32_t> find_bs1_marker(ImageBytes image, std::uint32_t limit) {
    if (image.size() > 0xFFFFFFFFu) return std::nullopt;
    const auto file_size = static_cast<std::uint32_t>(image.size());
    const std::uint32_t from = file_size > kBs1ScanFrom ? file_size - kBs1ScanFrom : 0;
    return find_text(image, from, limit, kBs1Text);
}

std::optional<std::uint32_t> bs1_pointer(ImageBytes image, std::uint32_t marker) {
    if (image.size() > 0xFFFFFFFFu) return std::nullopt;
    auto address = read_u32_at(image, std::uint64_t{marker} + kBs1AddressAt);
    if (!address || *address == 0 || *address == 0xFFFFFFFFu) return std::nullopt;
    const std::uint32_t offset = *address + static_cast<std::uint32_t>(image.size());  // modulo 2^32
    if (offset > image.size()) return std::nullopt;  // an address outside the ROM's mapping
    return offset;
}

std::uint32_t find_bs1_address(ImageBytes image) {
    if (image.size() > 0xFFFFFFFFu) return 0;
    auto marker = find_bs1_marker(image, static_cast<std::uint32_t>(image.size()));
    if (!marker) return 0;
    return bs1_pointer(image, *marker).value_or(0);
}

std::uint32_t find_alin16_value(ImageBytes image) {
    return find_alin16_value(image, find_bs1_address(image));
}

std::uint32_t find_alin16_value(ImageBytes image, std::uint32_t from) {
    if (image.size() > 0xFFFFFFFFu) return 0;
    auto marker = find_text(image, from, static_cast<std::uint32_t>(image.size()), kAlin16Text);
    if (!marker) return 0;
    return read_u32_at(image, std::uint64_t{*marker} + kAlin16Text.size()).value_or(0);
}

namespace {

// The distance to the end of the matching record, kParagraphRange when none.
std::uint32_t paragraph_distance(ImageBytes image, std::uint32_t start, std::string_view text) {
    if (start >= image.size()) return kParagraphRange;
    const std::span<const std::uint8_t> data =
        image.subspan(start, std::min<std::size_t>(kParagraphRange, image.size() - start));
    // Candidates are the places of the text's first byte (memchr); only one
    // at the start of a paragraph is compared in full.
    for (std::size_t k = 0; k < data.size();) {
        const auto* hit = static_cast<const std::uint8_t*>(
            text.empty() ? data.data() + k : std::memchr(data.data() + k, text[0], data.size() - k));
        if (!hit) break;
        const auto at = static_cast<std::size_t>(hit - data.data());
        if (at % kParagraph == 0 && bytes::has_text(data, at, text)) return static_cast<std::uint32_t>(at) + kParagraph;
        k = (at / kParagraph + 1) * kParagraph;
    }
    return kParagraphRange;
}

}  // namespace

std::optional<std::uint32_t> paragraph_record_end(ImageBytes image, std::uint32_t start, std::string_view text) {
    const std::uint32_t distance = paragraph_distance(image, start, text);
    if (distance >= kParagraphRange) return std::nullopt;
    return distance;
}

bool rom_after_paragraph_record(ImageBytes image, std::uint32_t start, std::string_view text) {
    std::uint8_t next[4];
    const std::uint64_t at = std::uint64_t{start} + paragraph_distance(image, start, text);
    return read_window(image, at, next) == sizeof next && std::memcmp(next, "\x55\xAA\x00\x00", 4) == 0;
}

std::optional<TopTrailer> read_top_trailer(ImageBytes image, std::uint32_t area_end) {
    if (area_end < kNcpuTrailerSize) return std::nullopt;
    TopTrailer t;
    if (read_window(image, area_end - kNcpuTrailerSize, t.bytes) != t.bytes.size()) return std::nullopt;
    if (!bytes::has_text(t.bytes, kNcpuNameAt, kNcpuName)) return std::nullopt;
    t.length = bytes::le32(t.bytes.data() + kNcpuLengthAt);
    return t;
}

std::array<std::uint8_t, kNcpuTrailerSize> top_trailer(std::uint32_t length) {
    std::array<std::uint8_t, kNcpuTrailerSize> t{};
    std::copy(kAlin16Text.begin(), kAlin16Text.end(), t.begin());
    bytes::put32(t.data() + kNcpuLengthAt, length);
    std::copy(kNcpuName.begin(), kNcpuName.end(), t.begin() + kNcpuNameAt);
    return t;
}

std::uint32_t ncpu_trailer_size(ImageBytes image, std::uint32_t area_end) {
    const std::optional<TopTrailer> t = read_top_trailer(image, area_end);
    // The block lies below its trailer; a length reaching before the file is no block.
    return t && t->length <= area_end - kNcpuTrailerSize ? t->length : 0;
}

bool ncpu_trailer_present(ImageBytes image, std::uint32_t area_end) {
    return read_top_trailer(image, area_end).has_value();
}
