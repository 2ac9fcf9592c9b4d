// Member positions inside the image: the header window, the walk and the gap closing.
#include "image/chain.hpp"

#include <algorithm>

#include "archive/extract.hpp"
#include "common/bytes.hpp"
#include "image/records.hpp"

HeaderBytes read_header_bytes(File& file, std::uint64_t position) {
    HeaderBytes header;
    read_window(file, position, header);
    return header;
}

bool holds_member(const HeaderBytes& header) {
    return bytes::has_text(header, kMethodAt, "-lh");
}

std::uint8_t header_size(const HeaderBytes& header) { return header[kHeaderSizeAt]; }

std::uint32_t packed_size(const HeaderBytes& header) {
    return bytes::le32(header.data() + kPackedSizeAt);
}

std::uint16_t type_segment(const HeaderBytes& header) {
    return bytes::le16(header.data() + kTypeSegmentAt);
}

std::uint16_t type_offset(const HeaderBytes& header) {
    return bytes::le16(header.data() + kTypeOffsetAt);
}

std::uint64_t member_span(const HeaderBytes& header) {
    return next_member_offset(0, header_size(header), packed_size(header), kMemberEndByte);
}

std::optional<std::uint32_t> next_member_position(std::uint32_t position, const HeaderBytes& header,
                                                  std::uint32_t file_size) {
    std::uint64_t next = position + member_span(header);
    if (next > file_size) return std::nullopt;
    return static_cast<std::uint32_t>(next);
}

ChainWalk walk_chain(File& file, std::uint32_t start, std::uint32_t limit) {
    ChainWalk walk;
    std::int64_t size = file.size();
    std::uint32_t file_size = static_cast<std::uint32_t>(std::clamp<std::int64_t>(size, 0, 0xFFFFFFFF));
    std::uint32_t position = start;
    for (;;) {
        walk.end_position = position;
        HeaderBytes header = read_header_bytes(file, position);
        if (packed_size(header) == kErasedSize) {
            walk.end = ChainEnd::Erased;
            return walk;
        }
        if (!holds_member(header)) {
            walk.end = ChainEnd::NoMember;
            return walk;
        }
        auto next = next_member_position(position, header, file_size);
        if (!next) {
            walk.end = ChainEnd::FileEnd;
            return walk;
        }
        walk.members.push_back({position, header});
        position = *next;
        if (position >= limit) {
            walk.end_position = position;
            walk.end = ChainEnd::Limit;
            return walk;
        }
    }
}

namespace {

inline constexpr std::uint32_t kMovePiece = 0x8000;

// Copies `count` bytes from `from` down to `to` (to < from), piece by piece.
bool move_down(File& file, std::uint64_t from, std::uint64_t to, std::uint64_t count,
               std::vector<std::uint8_t>& piece) {
    while (count > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kMovePiece));
        std::span<std::uint8_t> part(piece.data(), n);
        if (file.read_at(static_cast<std::int64_t>(from), part) != n) return false;
        if (!file.write_at(static_cast<std::int64_t>(to), part)) return false;
        from += n;
        to += n;
        count -= n;
    }
    return true;
}

}  // namespace

bool copy_out(File& image, std::uint64_t from, std::uint64_t count, const std::string& path) {
    File out(path, "wb");
    if (!out.is_open()) return false;
    std::vector<std::uint8_t> piece(kMovePiece);
    while (count > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kMovePiece));
        std::span<std::uint8_t> part(piece.data(), n);
        if (image.read_at(static_cast<std::int64_t>(from), part) != n) return false;
        if (!out.write(part)) return false;
        from += n;
        count -= n;
    }
    return out.flush();
}

bool close_gap(File& file, std::uint32_t dst, std::uint32_t length, std::uint32_t end) {
    std::int64_t file_size = file.size();
    if (file_size < 0) return false;
    std::uint64_t stop = std::min<std::uint64_t>(end, static_cast<std::uint64_t>(file_size));
    if (dst >= stop) return true;  // nothing lies between dst and the end
    std::uint64_t src = std::uint64_t{dst} + length;
    std::uint64_t moved = 0;
    std::vector<std::uint8_t> piece(kMovePiece);
    while (src + moved < stop) {
        HeaderBytes header = read_header_bytes(file, src + moved);
        if (packed_size(header) == kErasedSize) break;
        std::uint64_t n = std::min<std::uint64_t>(member_span(header), stop - (src + moved));
        if (length > 0 && !move_down(file, src + moved, dst + moved, n, piece)) return false;
        moved += n;
    }
    // Erase from the end of the moved members up to the end of the gap.
    std::vector<std::uint8_t> erased(kMovePiece, 0xFF);
    for (std::uint64_t at = dst + moved; at < stop;) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(stop - at, kMovePiece));
        if (!file.write_at(static_cast<std::int64_t>(at), std::span(erased.data(), n))) return false;
        at += n;
    }
    return file.flush();
}
