// Member positions inside the image: the walk, where the chain ends, and the
// gap closing.
#include "image/chain.hpp"

#include <algorithm>
#include <cstring>

#include "image/bios_image.hpp"

std::optional<std::uint32_t> next_member_position(std::uint32_t position, const MemberHead& header,
                                                  std::uint32_t file_size) {
    std::uint64_t next = position + member_span(header);
    if (next > file_size) return std::nullopt;
    return static_cast<std::uint32_t>(next);
}

ChainWalk walk_chain(ImageBytes image, std::uint32_t start, std::uint32_t limit) {
    ChainWalk walk;
    const auto file_size = static_cast<std::uint32_t>(std::min<std::size_t>(image.size(), 0xFFFFFFFF));
    std::uint32_t position = start;
    for (;;) {
        walk.end_position = position;
        const MemberHead header = read_member_head(image, position);
        if (is_erased(header)) {
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
            walk.end = ChainEnd::Full;
            return walk;
        }
    }
}

std::uint32_t chain_walk_limit(const BiosImage& image) {
    const std::uint32_t by_area = image.area_end > kWalkMargin ? image.area_end - kWalkMargin : 0;
    const std::uint32_t space_end = chain_space_end(image);
    const std::uint32_t by_space = space_end >= kSmallestMember ? space_end - kSmallestMember + 1 : 0;
    return std::min(by_area, by_space);
}

ChainWalk walk_image_chain(const BiosImage& image) {
    return walk_chain(image.bytes, image.chain_start, chain_walk_limit(image));
}

void close_gap(std::span<std::uint8_t> image, std::uint32_t dst, std::uint32_t length, std::uint32_t end) {
    const std::uint64_t stop = std::min<std::uint64_t>(end, image.size());
    if (dst >= stop) return;  // nothing lies between dst and the end
    const std::uint64_t src = std::uint64_t{dst} + length;
    std::uint64_t moved = 0;
    while (src + moved < stop) {
        const MemberHead header = read_member_head(image, src + moved);
        if (is_erased(header)) break;
        const std::uint64_t n = std::min<std::uint64_t>(member_span(header), stop - (src + moved));
        std::memmove(image.data() + dst + moved, image.data() + src + moved, static_cast<std::size_t>(n));
        moved += n;
    }
    // Erase from the end of the moved members up to the end of the gap.
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(dst + moved),
              image.begin() + static_cast<std::ptrdiff_t>(stop), std::uint8_t{0xFF});
}

std::optional<std::uint32_t> chain_damage(const BiosImage& image, const ChainWalk& walk) {
    if (chain_damaged(walk.end)) return walk.end_position;
    for (const ChainMember& m : walk.members)
        if (m.position + member_span(m.header) > chain_space_end(image)) return m.position;
    return std::nullopt;
}
