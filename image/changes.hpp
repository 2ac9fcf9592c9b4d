// What differs between two images, by one rule that the dry run and /diff
// both render: each component of one image is paired with one of the other
// (same content: the same, or moved when its position changed; same place
// and TypeId, by stored name first, or at least the same kind: replaced);
// the rest were added or removed. Bytes that differ outside the chain are
// named by the writer's region they lie in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/bios_image.hpp"
#include "image/components.hpp"

// A component with what the comparison goes by.
struct ComparedPart {
    Component component;
    std::string type_id;  // SSSS:OOOO, "-" for the blocks that are no members
    std::uint32_t original = 0, packed = 0;
    std::string sha256;  // of the content; empty when it cannot be expanded whole
};

// The parts of `image`'s components, each expanded once for its digest.
std::vector<ComparedPart> compared_parts(const BiosImage& image, const std::vector<Component>& components);

struct ComponentChange {
    const char* what;  // "added", "replaced", "moved", "removed"
    const ComparedPart* before = nullptr;
    const ComparedPart* after = nullptr;
};

// The changes from `before` to `after`: those of the parts of `after`, in
// its order, then the removed ones in the order of `before`; a part the
// same in both is not one.
std::vector<ComponentChange> component_changes(const std::vector<ComparedPart>& before,
                                               const std::vector<ComparedPart>& after);

// Bytes that differ between two images of one size outside the chain, each
// named by the writer's region it lies in ("check_bytes", "top_block", ...,
// "other"); a named region is one range from its first differing byte to
// its last, "other" one range per stretch.
struct ByteChange {
    std::uint32_t offset = 0, length = 0;
    std::string what;
};
std::vector<ByteChange> byte_changes(const BiosImage& before, const BiosImage& after);
