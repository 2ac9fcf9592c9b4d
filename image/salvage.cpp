// The salvage's walk of a damaged chain and its reading of damaged members.
#include "image/salvage.hpp"

#include <algorithm>

#include "image/chain.hpp"
#include "image/survey.hpp"

namespace {

// A member whose header reads whole and which lies inside the chain's space.
bool whole_at(const BiosImage& image, std::uint32_t position) {
    const std::span<const std::uint8_t> from =
        std::span(image.bytes).subspan(std::min<std::size_t>(position, image.bytes.size()));
    const HeaderRead read = read_member_header(from);
    return read.status == HeaderStatus::Read && holds_member(read.head) &&
           position + member_span(read.head) <= chain_space_end(image);
}

// The first position from `from` below `limit` where a whole member stands.
std::optional<std::uint32_t> next_whole(const BiosImage& image, std::uint64_t from, std::uint32_t limit) {
    const std::vector<std::uint8_t>& b = image.bytes;
    for (std::uint64_t p = from; p < limit && p + 5 <= b.size(); ++p) {
        // "-lh" first: most positions are not even that.
        if (b[p + 2] != '-' || b[p + 3] != 'l' || b[p + 4] != 'h') continue;
        if (whole_at(image, static_cast<std::uint32_t>(p))) return static_cast<std::uint32_t>(p);
    }
    return std::nullopt;
}

struct ChainSalvage {
    std::vector<Component> members;
    std::vector<LostStretch> lost;
    std::uint32_t end = 0;
};

// Where the walk goes on behind the member `c`, whose header is not whole:
// where its sizes point when a whole member (or the chain's end) is there,
// else the next whole member behind its header.
std::optional<std::uint32_t> after_damaged(const BiosImage& image, const Component& c, std::uint32_t limit) {
    const std::uint64_t pointed = std::uint64_t{c.position} + c.extent;
    if (pointed < limit &&
        (whole_at(image, static_cast<std::uint32_t>(pointed)) || is_erased(read_member_head(image.bytes, pointed))))
        return static_cast<std::uint32_t>(pointed);
    return next_whole(image, std::uint64_t{c.position} + header_size(*c.head) + 2, limit);
}

ChainSalvage salvage_chain(const BiosImage& image) {
    ChainSalvage out;
    const std::uint32_t limit = chain_walk_limit(image);
    const std::uint32_t space_end = chain_space_end(image);
    std::uint32_t p = image.chain_start;
    for (bool first = true; first || p < limit; first = false) {
        out.end = p;
        const MemberHead head = read_member_head(image.bytes, p);
        if (is_erased(head)) return out;
        if (!holds_member(head)) {
            // Bytes that begin no member: lost up to the next whole one.
            const std::optional<std::uint32_t> next = next_whole(image, std::uint64_t{p} + 1, limit);
            out.lost.push_back({p, next.value_or(std::max(p, space_end))});
            out.end = out.lost.back().end;
            if (!next) return out;
            p = *next;
            continue;
        }
        const Component c = member_component(Place::Chain, p, head);
        out.members.push_back(c);
        const bool whole = whole_at(image, p);
        out.end = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{p} + c.extent, image.bytes.size()));
        const std::optional<std::uint32_t> next =
            whole ? std::optional(static_cast<std::uint32_t>(p + c.extent)) : after_damaged(image, c, limit);
        if (!next) return out;
        p = *next;
    }
    return out;
}

}  // namespace

Salvage salvage_components(const BiosImage& image, const ImageSurvey& s) {
    Salvage out;
    ChainSalvage chain = salvage_chain(image);
    // The places in image order: the system BIOS, the chain, then the rest.
    for (const Component& c : s.components)
        if (c.place == Place::SystemBios) out.components.push_back(c);
    out.components.insert(out.components.end(), chain.members.begin(), chain.members.end());
    for (const Component& c : s.components)
        if (c.place > Place::Chain) out.components.push_back(c);
    out.lost = std::move(chain.lost);
    out.chain_end = chain.end;
    return out;
}

bool whole_member(const BiosImage& image, const Component& c) {
    if (!c.head) return true;
    if (c.place == Place::Chain) return whole_at(image, c.position);
    return read_member_header(std::span(image.bytes).subspan(c.position)).status == HeaderStatus::Read;
}

Expansion salvage_member(const BiosImage& image, const Component& c, ExpansionSink sink) {
    const std::span<const std::uint8_t> from = std::span(image.bytes).subspan(c.position);
    if (!c.head || read_member_header(from).status != HeaderStatus::Damaged || !has_fixed_fields(*c.head))
        return expand_component_to_sink(image, c, sink);
    // The member's bytes (as far as the image has them) with its sum made good.
    std::vector<std::uint8_t> copy(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
                                                                    from.size(), member_span(*c.head))));
    if (const std::optional<std::uint8_t> sum = header_sum(copy)) copy[member::kHeaderSumAt] = *sum;
    BiosImage held;
    held.bytes = std::move(copy);
    Component moved = c;
    moved.position = 0;
    moved.head = read_member_head(held.bytes, 0);
    return expand_component_to_sink(held, moved, sink);
}
