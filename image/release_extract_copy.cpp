// Extract: the chosen member copied out of the image into "FILE_BUF.BIN",
// expanded into "original.tmp" and moved to the name the user gave.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "archive/crc16.hpp"
#include "archive/extract.hpp"
#include "archive/work_files.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/member_name.hpp"
#include "image/records.hpp"
#include "image/release_extract.hpp"

namespace {

constexpr std::size_t kHeaderSumAt = 1;
constexpr std::size_t kSummedFrom = 2;

// An ISA ROM is kept in the image with its address in the type offset; the
// copy gets type offset 0. The header sum is moved by the same change, so a
// header that was sound stays sound (and a damaged one stays damaged).
bool clear_type_offset(File& copy, std::uint8_t header_size) {
    if (kSummedFrom + header_size <= kTypeOffsetAt) return true;  // the field would be data
    std::uint8_t head[kTypeOffsetAt + 2];
    if (copy.read_at(0, head) != sizeof head) return false;
    std::uint8_t sum = head[kHeaderSumAt];
    for (std::size_t at = kTypeOffsetAt; at < kTypeOffsetAt + 2; ++at) {
        // Only header bytes are cleared; with a header this short they are data.
        if (at >= kSummedFrom + header_size) break;
        sum = static_cast<std::uint8_t>(sum - head[at]);
        head[at] = 0;
    }
    head[kHeaderSumAt] = sum;
    return copy.write_at(0, head);
}

bool stores_known_method(const HeaderBytes& header) {
    return known_method(std::string_view(reinterpret_cast<const char*>(header.data()) + kMethodAt,
                                         member::kMethodLength));
}

}  // namespace

// Moves the expansion to `target`. A rename replaces an existing file in
// one step; across file systems the bytes are written beside the target
// first, so a failed write never leaves the target half-written.
bool move_expansion(const std::string& target) {
    if (std::rename(work_file::kExpanded, target.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    std::optional<std::vector<std::uint8_t>> data = read_file(work_file::kExpanded);
    const std::string part = target + ".part";
    if (!data || !write_file(part, *data)) {
        std::remove(part.c_str());
        return false;
    }
    if (std::rename(part.c_str(), target.c_str()) != 0) {
        std::remove(part.c_str());
        return false;
    }
    std::remove(work_file::kExpanded);
    return true;
}

Extraction extract_member(BiosImage& image, const ChainMember& member, OptionCode c, const std::string& target) {
    const HeaderBytes& header = member.header;
    {
        bool written = copy_out(image.file, member.position, member_span(header), work_file::kMemberCopy);
        if (written && c == code::isa) {
            File copy(work_file::kMemberCopy, "r+b");
            written = clear_type_offset(copy, header_size(header)) && copy.flush();
        }
        if (!written) {
            console::conf("Can't write %s; nothing was extracted.\n", work_file::kMemberCopy);
            std::remove(work_file::kMemberCopy);
            return Extraction::WriteFailed;
        }
    }
    // A stale expansion must not pass for this one.
    std::remove(work_file::kExpanded);
    extract_archive(work_file::kMemberCopy);  // fatal errors end the run here, leaving FILE_BUF.BIN
    std::remove(work_file::kMemberCopy);

    const std::uint32_t original_size = bytes::le32(header.data() + kOriginalSizeAt);
    File expanded(work_file::kExpanded, "rb");
    const bool complete = expanded.is_open() && stores_known_method(header) &&
                          expanded.size() == std::int64_t{original_size};
    expanded.close();
    if (!complete) {
        console::conf("Nothing was extracted; %s is unchanged.\n", target.c_str());
        return Extraction::Failed;
    }
    // The CRC the header records, checked before the move (the target may
    // be a picture that is converted afterwards).
    std::array<std::uint8_t, kLongestHeader> full;
    const std::size_t got = read_window(image.file, member.position, full);
    const std::optional<std::uint16_t> recorded = recorded_crc(std::span(full.data(), got));
    std::optional<std::vector<std::uint8_t>> bytes = read_file(work_file::kExpanded);
    const bool damaged = recorded && bytes && crc16::update(0, *bytes) != *recorded;
    if (!move_expansion(target)) {
        console::conf("Can't create %s; the extracted bytes are left in %s.\n", target.c_str(), work_file::kExpanded);
        return Extraction::WriteFailed;
    }
    if (damaged) {
        // The prompt for the name left its line open.
        console::conf("\nCRC error in %s: the extracted bytes are damaged\n", target.c_str());
        return Extraction::CrcError;
    }
    return Extraction::Extracted;
}
