// Opening an image: the layout fields of BiosImage, computed once per run.
#include "image/bios_image.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/bytes.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "image/chain.hpp"
#include "image/records.hpp"

namespace {

inline constexpr std::uint32_t kBbssRecordSize = kBbssMicrocodeAt + 2;  // bytes the record's words span
inline constexpr std::uint32_t kBs1ScanStopFromEnd = 0x3FFF;            // the pointer scan stays below file_size - this

// Where the chain starts behind the first member at `position`.
std::uint32_t behind_first_member(std::uint32_t position, const MemberHead& header, std::uint32_t file_size) {
    return position + system_bios_space(position, header_size(header), packed_size(header), file_size);
}

// Resets every field that comes from the "*BBSS*" record to its value for "no record".
void forget_boot_record(BiosImage& image) {
    image.bbss_offset = kNoBootRecord;
    image.banked = false;
    image.imd_reset = false;
    image.area_end = kDefaultAreaEnd;
    image.checksum_block = 0;
    image.imd_block = 0;
    image.microcode_table = 0;
}

// Steps 4 to 6 of opening: the "*BBSS*" record and the positions it gives.
void read_boot_record(BiosImage& image) {
    BootRecordSearch found = find_boot_record(image.bytes, image.top_base);
    image.boot_window = image.top_base + static_cast<std::uint32_t>(found.window) * kWindowSize;
    forget_boot_record(image);
    if (found.bbss_offset == kNoBootRecord) return;  // imd_reset stays clear: no IMD block is known

    std::uint8_t record[kBbssRecordSize];
    if (read_window(image.bytes, std::uint64_t{image.boot_window} + found.bbss_offset, record) != sizeof record)
        return;  // the record's words run past the end of the file
    std::uint16_t w6 = bytes::le16(record + kBbssBankAt);
    std::uint16_t w8 = bytes::le16(record + kBbssChecksumAt);
    std::uint16_t w12 = bytes::le16(record + kBbssAreaEndAt);
    std::uint16_t w18 = bytes::le16(record + kBbssImdAt);
    std::uint16_t w21 = bytes::le16(record + kBbssMicrocodeAt);

    image.bbss_offset = found.bbss_offset;
    if (found.bbss_offset >= kBbssImdFlagAt) {
        std::uint8_t flags[1];
        read_window(image.bytes, std::uint64_t{image.boot_window} + found.bbss_offset - kBbssImdFlagAt, flags);
        image.imd_reset = (flags[0] & 0x02) != 0;
    }
    image.banked = (w8 & 0xF) != 0 && image.large_image;
    image.area_end = image.boot_window + (w12 & 0xF000u);
    if (!image.banked) {
        image.checksum_block = image.boot_window + (w8 & 0xF000u);
        image.imd_block = image.boot_window + (w18 & 0xF000u);
    } else {
        std::uint32_t bank = w6 & 0xF000u;
        std::uint8_t length[2];
        read_window(image.bytes, std::uint64_t{image.boot_window} + bank + kBankLengthAt, length);
        std::uint32_t bank_length = bytes::le16(length);
        image.checksum_block = image.file_size - 0x100000u + (record[kBbssBankAt] & 0xFu) * 0x10000u +
                               ((bank + bank_length) & 0xF000u);  // modulo 2^32
        image.imd_block = (w18 & 0xFu) * 0x10000u + (w18 & 0xFFF0u);
    }
    image.microcode_table =
        image.large_image ? (w21 & 0xFFF0u) + (image.imd_block & 0xF0000u) : image.boot_window + w21;

    // A record whose area or check bytes lie outside the file is no usable record.
    if (image.area_end > image.file_size ||
        std::uint64_t{image.checksum_block} + kChecksumBlockSize > image.file_size) {
        forget_boot_record(image);
        return;
    }
    if (std::uint64_t{image.imd_block} + kImdBlockSize > image.file_size) {
        image.imd_reset = false;  // an IMD block outside the file cannot be reset
        image.imd_block = 0;
    }
    if (image.microcode_table >= image.file_size) image.microcode_table = 0;
}

// The first "-lh" of a large image, at positions 2 to 0xFFFC of each 64 KB
// window, compared without regard to case; its member starts 2 bytes earlier.
std::optional<std::uint32_t> scan_first_member(ImageBytes image) {
    for (std::uint64_t start = 0; start < image.size(); start += kWindowSize) {
        const std::span<const std::uint8_t> window =
            image.subspan(start, std::min<std::uint64_t>(kWindowSize, image.size() - start));
        for (std::size_t p = 2; p <= 0xFFFC && p + 3 <= window.size(); ++p) {
            if (window[p] == '-' && std::tolower(window[p + 1]) == 'l' && std::tolower(window[p + 2]) == 'h')
                return static_cast<std::uint32_t>(start + p - 2);
        }
    }
    return std::nullopt;
}

// Step 7: first member and chain start.
void find_first_member(BiosImage& image) {
    image.first_member = 0;
    image.chain_start = 0;
    if (image.large_image) {
        auto first = scan_first_member(image.bytes);
        if (!first) return;  // no member anywhere: no chain either
        image.first_member = *first;
        image.chain_start = behind_first_member(*first, read_member_head(image.bytes, *first), image.file_size);
        return;
    }
    const MemberHead header = read_member_head(image.bytes, 0);
    if (type_segment(header) == kSystemBiosSegment) {
        image.chain_start = behind_first_member(0, header, image.file_size);
    } else {
        // The components lie in the lower part, the system BIOS in the top 128 KB.
        image.area_end = image.top_base;
    }
}

// Step 10: the "*BS1" record and its free-space pointer, which counts only
// below file_size - 0x3FFF.
void read_bs1_pointer(BiosImage& image) {
    image.bs1_marker = find_bs1_marker(image.bytes, image.file_size);
    image.bs1_present = false;
    image.free_pointer = 0;
    const std::uint32_t size = image.file_size;
    const std::uint32_t limit = size > kBs1ScanStopFromEnd ? size - kBs1ScanStopFromEnd : 0;
    if (!image.bs1_marker || *image.bs1_marker >= limit) return;
    auto offset = bs1_pointer(image.bytes, *image.bs1_marker);
    if (!offset) return;
    image.bs1_present = true;
    image.free_pointer = *offset;
}

}  // namespace

void analyse_layout(BiosImage& image) {
    image.file_size = static_cast<std::uint32_t>(image.bytes.size());
    image.large_image = image.file_size / kWindowSize > 4;
    image.top_base = image.file_size > kTopSize ? image.file_size - kTopSize : 0;
    image.logo_flags = image.file_size >= kLogoFlagsFromEnd ? image.bytes[image.file_size - kLogoFlagsFromEnd] : 0;
    read_boot_record(image);
    find_first_member(image);
    image.area_end = std::min(image.area_end, image.file_size);
    image.ncpu_size = ncpu_trailer_size(image.bytes, image.area_end);
    image.ncpu_block = ncpu_trailer_present(image.bytes, image.area_end);
    read_bs1_pointer(image);
}

std::optional<std::uint32_t> free_pointer_to_write(const BiosImage& image) {
    if (image.placed_top_block) return image.placed_top_block;
    if (image.bs1_present) return image.free_pointer;
    return std::nullopt;
}

std::uint32_t system_bios_space(std::uint32_t position, std::uint8_t header_size, std::uint32_t packed_size,
                                std::uint32_t file_size) {
    if (position >= file_size) return 0;
    std::uint64_t space = std::max<std::uint64_t>(kFirstMemberMinSpace, std::uint64_t{header_size} + packed_size + 4);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(space, file_size - position));
}

std::uint32_t top_block_start(const BiosImage& image) {
    return image.ncpu_block ? image.area_end - kNcpuTrailerSize - image.ncpu_size : image.area_end;
}

std::optional<std::uint32_t> check_bytes_position(const BiosImage& image) {
    if (image.bbss_offset == kNoBootRecord) return std::nullopt;
    return image.checksum_block + kCheckBytesAt;
}

std::uint32_t chain_space_end(const BiosImage& image) {
    const std::uint32_t end = top_block_start(image);
    const std::optional<std::uint32_t> check = check_bytes_position(image);
    return check && *check >= image.chain_start && *check < end ? *check : end;
}

std::uint32_t system_bios_position(const BiosImage& image) {
    if (image.large_image) return image.first_member;
    return image.chain_start != 0 ? 0 : image.top_base;
}

std::optional<std::string> not_a_bios_image(const BiosImage& image) {
    char reason[96];
    if (image.file_size < kTopSize || image.file_size % kWindowSize != 0) {
        std::snprintf(reason, sizeof reason, "its size, %Xh bytes, is no multiple of 64 KB from 128 KB",
                      image.file_size);
        return reason;
    }
    const std::uint32_t at = system_bios_position(image);
    if (!holds_member(read_member_head(image.bytes, at))) {
        std::snprintf(reason, sizeof reason, "no system BIOS component at %05Xh", at);
        return reason;
    }
    return std::nullopt;
}

OpenedImage open_image(const std::string& path, bool keep_as_read) {
    OpenedImage opened;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return opened;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return opened;
    if (size > kMaxImageSize) {
        opened.failure = OpenFailure::TooLarge;
        return opened;
    }
    BiosImage image;
    image.path = path;
    image.read_only = !File(path, "r+b").is_open();
    std::optional<std::vector<std::uint8_t>> bytes = read_input_file(path, kMaxImageSize);
    if (!bytes) return opened;
    image.bytes = std::move(*bytes);
    if (keep_as_read) image.on_disk = image.bytes;

    analyse_layout(image);
    opened.image = std::move(image);
    return opened;
}
