// Marker searches over the image file, through bounded 64 KB windows.
#include "image/records.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/bytes.hpp"

namespace {

std::uint64_t size_of(File& file) {
    std::int64_t size = file.size();
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

std::size_t read_window(File& file, std::uint64_t offset, std::span<std::uint8_t> buf) {
    std::uint64_t size = size_of(file);
    std::size_t got = 0;
    if (offset < size && !buf.empty()) {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size - offset));
        got = file.read_at(static_cast<std::int64_t>(offset), buf.first(want));
    }
    std::fill(buf.begin() + static_cast<std::ptrdiff_t>(got), buf.end(), std::uint8_t{0xFF});
    return got;
}

std::optional<std::uint32_t> find_text(File& file, std::uint32_t begin, std::uint32_t limit,
                                       std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t size = size_of(file);
    // The last start position at which the text still lies wholly in the file.
    if (size < text.size()) return std::nullopt;
    std::uint64_t end = std::min<std::uint64_t>(limit, size - text.size() + 1);
    std::vector<std::uint8_t> window(kWindowSize);
    std::uint64_t step = kWindowSize - (text.size() - 1);  // windows overlap by the text less one
    for (std::uint64_t at = begin; at < end; at += step) {
        std::size_t got = read_window(file, at, window);
        std::span<const std::uint8_t> data(window.data(), got);
        std::uint64_t positions = std::min<std::uint64_t>(step, end - at);
        // Candidates by their first byte, then the whole text.
        const std::uint8_t* base = data.data();
        for (std::uint64_t i = 0; i < positions && i < data.size(); ++i) {
            const void* hit = std::memchr(base + i, static_cast<unsigned char>(text[0]),
                                          static_cast<std::size_t>(std::min<std::uint64_t>(positions, data.size()) - i));
            if (!hit) break;
            i = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - base);
            if (bytes::has_text(data, static_cast<std::size_t>(i), text)) return static_cast<std::uint32_t>(at + i);
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> read_u32_at(File& file, std::uint64_t offset) {
    std::uint8_t buf[4];
    if (read_window(file, offset, buf) != sizeof buf) return std::nullopt;
    return bytes::le32(buf);
}

BootRecordSearch find_boot_record(File& file, std::uint32_t top_base,
                                  std::span<std::uint8_t> window) {
    BootRecordSearch result;
    for (int count = 2; count >= 1; --count) {
        read_window(file, top_base + std::uint64_t{kWindowSize} * (2 - count), window);
        // Positions 0 to 0xFFF9: the text must fit inside the window.
        const std::size_t positions = std::min<std::size_t>(kNoBootRecord, window.size() + 1 - kBbssText.size());
        for (std::size_t i = 0; i < positions; ++i) {
            const void* star = std::memchr(window.data() + i, '*', positions - i);
            if (!star) break;
            i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(star) - window.data());
            if (bytes::has_text(window, i, kBbssText)) {
                result.bbss_offset = static_cast<std::uint32_t>(i);
                result.count = count;
                return result;
            }
        }
    }
    return result;  // not found: the second window is in the buffer, count 1
}

std::optional<std::uint32_t> find_bs1_marker(File& file, std::uint32_t limit) {
    std::uint64_t size = size_of(file);
    if (size > 0xFFFFFFFFu) return std::nullopt;
    std::uint32_t file_size = static_cast<std::uint32_t>(size);
    std::uint32_t from = file_size > kBs1ScanFrom ? file_size - kBs1ScanFrom : 0;
    return find_text(file, from, limit, kBs1Text);
}

std::optional<std::uint32_t> bs1_pointer(File& file, std::uint32_t marker) {
    std::uint64_t size = size_of(file);
    if (size > 0xFFFFFFFFu) return std::nullopt;
    auto address = read_u32_at(file, std::uint64_t{marker} + kBs1AddressAt);
    if (!address || *address == 0 || *address == 0xFFFFFFFFu) return std::nullopt;
    std::uint32_t offset = *address + static_cast<std::uint32_t>(size);  // modulo 2^32
    if (offset > size) return std::nullopt;  // an address outside the ROM's mapping
    return offset;
}

std::uint32_t find_bs1_address(File& file) {
    std::uint64_t size = size_of(file);
    if (size > 0xFFFFFFFFu) return 0;
    auto marker = find_bs1_marker(file, static_cast<std::uint32_t>(size));
    if (!marker) return 0;
    return bs1_pointer(file, *marker).value_or(0);
}

std::uint32_t find_alin16_value(File& file) {
    std::uint64_t size = size_of(file);
    if (size > 0xFFFFFFFFu) return 0;
    auto marker = find_text(file, find_bs1_address(file), static_cast<std::uint32_t>(size),
                            kAlin16Text);
    if (!marker) return 0;
    return read_u32_at(file, std::uint64_t{*marker} + kAlin16Text.size()).value_or(0);
}

std::uint32_t find_paragraph_marker(File& file, std::uint32_t start, bool check,
                                    std::string_view text) {
    std::vector<std::uint8_t> window(kWindowSize);
    std::uint32_t result = kParagraphRange;
    for (std::uint32_t base = 0; base < kParagraphRange && result == kParagraphRange;
         base += kWindowSize) {
        std::uint32_t span = std::min(kWindowSize, kParagraphRange - base);
        std::size_t got = read_window(file, std::uint64_t{start} + base, window);
        std::span<const std::uint8_t> data(window.data(), got);  // only bytes of the file
        // Candidates are the places of the text's first byte (memchr); only
        // one at the start of a paragraph is compared in full.
        const std::size_t limit = std::min<std::size_t>(span, got);
        for (std::size_t k = 0; k < limit;) {
            const auto* hit = static_cast<const std::uint8_t*>(
                text.empty() ? data.data() + k : std::memchr(data.data() + k, text[0], limit - k));
            if (!hit) break;
            const auto at = static_cast<std::size_t>(hit - data.data());
            if (at % kParagraph == 0 && bytes::has_text(data, at, text)) {
                result = base + static_cast<std::uint32_t>(at) + kParagraph;
                break;
            }
            k = (at / kParagraph + 1) * kParagraph;
        }
    }
    if (check) return result;
    std::uint8_t next[4];
    if (read_window(file, std::uint64_t{start} + result, next) != sizeof next) return 0;
    return std::memcmp(next, "\x55\xAA\x00\x00", 4) == 0 ? 1 : 0;
}

namespace {

// The length field of the trailer ending at area_end; nothing without one.
std::optional<std::uint32_t> ncpu_trailer_length(File& file, std::uint32_t area_end) {
    if (area_end < kNcpuTrailerSize) return std::nullopt;
    std::uint8_t trailer[kNcpuTrailerSize];
    if (read_window(file, area_end - kNcpuTrailerSize, trailer) != sizeof trailer) return std::nullopt;
    if (!bytes::has_text(trailer, kNcpuNameAt, kNcpuName)) return std::nullopt;
    return bytes::le32(trailer + kNcpuLengthAt);
}

}  // namespace

std::uint32_t ncpu_trailer_size(File& file, std::uint32_t area_end) {
    const std::uint32_t length = ncpu_trailer_length(file, area_end).value_or(0);
    // The block lies below its trailer; a length reaching before the file is no block.
    return length <= area_end - kNcpuTrailerSize ? length : 0;
}

bool ncpu_trailer_present(File& file, std::uint32_t area_end) {
    return ncpu_trailer_length(file, area_end).has_value();
}

std::int64_t counted_file_size(File& file) {
    if (!file.is_open() || !file.seek(0)) return 0;
    std::vector<std::uint8_t> chunk(kWindowSize);
    std::int64_t total = 0;
    for (;;) {
        std::size_t got = file.read(chunk);
        total += static_cast<std::int64_t>(got);
        if (got < chunk.size()) break;
    }
    std::clearerr(file.get());
    return total;
}

std::int64_t counted_file_size(const std::string& path) {
    File file(path, "rb");
    return counted_file_size(file);
}
