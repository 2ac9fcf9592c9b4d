// Finding each manifest line's member in image.bin by its identity.
#include "folder/stored_members.hpp"

#include <set>

#include "archive/member_header.hpp"
#include "common/sha256.hpp"
#include "image/components.hpp"

namespace {

bool hash_piece(void* context, std::span<const std::uint8_t> piece) {
    static_cast<Sha256*>(context)->update(piece);
    return true;
}

// Whether the member `c` is the one line `l` describes, its content read.
bool describes(const BiosImage& image, const Component& c, const ManifestLine& l) {
    if (c.place != l.place || !c.head) return false;
    const MemberHead& head = *c.head;
    const TypeIdValue type = parse_type_id(l.type_id);
    if (type.segment != type_segment(head) || type.offset != type_offset(head) || listed_name(head) != l.name ||
        method_text(head) != l.method)
        return false;
    Sha256 sha;
    const Expansion e = expand_component_to_sink(image, c, {hash_piece, &sha});
    return e.status == Expansion::Status::Complete && sha.hex_digest() == l.sha256;
}

}  // namespace

void locate_stored_members(const BiosImage& image, const std::vector<Component>& components, Manifest& m) {
    std::set<std::size_t> given;  // the indices in `components` already given to a line
    for (ManifestLine& l : m.lines) {
        if (l.at || l.sha256.empty() || !place_row(l.place).member) continue;
        for (std::size_t i = 0; i < components.size(); ++i) {
            if (given.contains(i) || !describes(image, components[i], l)) continue;
            l.at = components[i].position;
            given.insert(i);
            break;
        }
    }
}
