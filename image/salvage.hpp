// What can still be read of a damaged image: the components of a chain
// whose links broke, and each member's content as far as it expands.
//
// The chain is walked as the survey walks it while each member's header is
// whole (its sum holds, its bytes lie in the chain's space). A member whose
// header is not whole is still a component, but its link is not trusted:
// the next member is where its sizes point when a whole header stands
// there, else the first position behind its header where one does. Bytes
// that begin no member (a link that points into the middle of something)
// are a lost stretch up to the next whole header: what stood there cannot
// be read. A sound image gives the survey's components, no stretch lost.
#pragma once

#include <cstdint>
#include <vector>

#include "image/components.hpp"

struct ImageSurvey;

// Chain bytes at which no member could be read: [begin, end).
struct LostStretch {
    std::uint32_t begin = 0, end = 0;
};

struct Salvage {
    std::vector<Component> components;  // in image order, as ImageSurvey::components
    std::vector<LostStretch> lost;
    std::uint32_t chain_end = 0;  // behind the last member or stretch found
};

// The components of `image` as a salvage finds them; `s` is its survey.
Salvage salvage_components(const BiosImage& image, const ImageSurvey& s);

// Whether the member `c` reads whole: its header's sum holds and, in the
// chain, it lies inside the chain's space.
bool whole_member(const BiosImage& image, const Component& c);

// The member's content streamed into `sink` as far as it expands: a
// header whose sum fails is read as if it held (a copy of the member with
// the sum made good), so that a damaged name or sum byte loses nothing.
// The expansion's verdict is that of the copy.
Expansion salvage_member(const BiosImage& image, const Component& c, ExpansionSink sink);
