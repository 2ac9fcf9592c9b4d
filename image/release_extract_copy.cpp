// Extract: the chosen member copied out of the image into "FILE_BUF.BIN",
// expanded into "original.tmp" and moved to the name the user gave.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "archive/extract.hpp"
#include "archive/settings.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/release_extract.hpp"

namespace {

constexpr std::size_t kCopyPiece = 0x8000;
constexpr std::size_t kHeaderSumAt = 1;
constexpr std::size_t kSummedFrom = 2;

// Copies `count` bytes of the image at `from` into `out`.
bool copy_out(File& image, std::uint64_t from, std::uint64_t count, File& out) {
    std::vector<std::uint8_t> piece(kCopyPiece);
    while (count > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyPiece));
        std::span<std::uint8_t> part(piece.data(), n);
        if (image.read_at(static_cast<std::int64_t>(from), part) != n) return false;
        if (!out.write(part)) return false;
        from += n;
        count -= n;
    }
    return true;
}

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

// The methods the expansion knows: "-lh0-" (stored), "-lh4-" and "-lh5-".
bool known_method(const HeaderBytes& header) {
    const std::uint8_t m = header[kMethodAt + 3];
    return bytes::has_text(header, kMethodAt, "-lh") && header[kMethodAt + 4] == '-' &&
           (m == '0' || m == '4' || m == '5');
}

// Moves the expansion to `target`. A rename replaces an existing file in
// one step; across file systems the bytes are written beside the target
// first, so a failed write never leaves the target half-written.
bool move_to_target(const std::string& target) {
    if (std::rename(kExpanded, target.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    std::optional<std::vector<std::uint8_t>> data = read_file(kExpanded);
    const std::string part = target + ".part";
    if (!data || !write_file(part, *data)) {
        std::remove(part.c_str());
        return false;
    }
    if (std::rename(part.c_str(), target.c_str()) != 0) {
        std::remove(part.c_str());
        return false;
    }
    std::remove(kExpanded);
    return true;
}

}  // namespace

bool extract_member(BiosImage& image, const ChainMember& member, OptionCode c,
                    const std::string& target) {
    const HeaderBytes& header = member.header;
    {
        File copy(kMemberCopy, "w+b");
        bool written = copy.is_open() && copy_out(image.file, member.position, member_span(header), copy);
        if (written && c == code::isa) written = clear_type_offset(copy, header_size(header));
        if (written) written = copy.flush();
        if (!written) {
            console::conf("Can't write %s; nothing was extracted.\n", kMemberCopy);
            copy.close();
            std::remove(kMemberCopy);
            return false;
        }
    }
    // A stale expansion must not pass for this one.
    std::remove(kExpanded);
    archive_settings().archive_name = kMemberCopy;
    extract_component();  // fatal errors end the run here, leaving FILE_BUF.BIN
    std::remove(kMemberCopy);

    const std::uint32_t original_size = bytes::le32(header.data() + kOriginalSizeAt);
    File expanded(kExpanded, "rb");
    const bool complete = expanded.is_open() && known_method(header) &&
                          expanded.size() == std::int64_t{original_size};
    expanded.close();
    if (!complete) {
        console::conf("Nothing was extracted; %s is unchanged.\n", target.c_str());
        return false;
    }
    if (!move_to_target(target)) {
        console::conf("Can't create %s; the extracted bytes are left in %s.\n", target.c_str(), kExpanded);
        return false;
    }
    return true;
}
