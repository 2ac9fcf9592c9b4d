// The salvage's reading of damaged images: every component and lost
// stretch lies inside the file, no member expands past its bound, and an
// image whose chain reads whole gives the survey's own components.
#include <cstdlib>

#include "fuzz/fuzz_support.hpp"
#include "image/bios_image.hpp"
#include "image/chain.hpp"
#include "image/salvage.hpp"
#include "image/survey.hpp"

namespace {

bool count_piece(void* context, std::span<const std::uint8_t> piece) {
    *static_cast<std::size_t*>(context) += piece.size();
    return true;
}

// The survey's chain is sound and each of its members reads whole.
bool whole_chain(const BiosImage& image, const ImageSurvey& s) {
    if (chain_damage(image, s.chain)) return false;
    for (const Component& c : s.components)
        if (c.place == Place::Chain && !whole_member(image, c)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BiosImage image;
    image.bytes = fuzz::patched_image(std::span(data, size));
    analyse_layout(image);
    if (not_a_bios_image(image)) return 0;
    const ImageSurvey s = survey_image(image);
    const Salvage salvage = salvage_components(image, s);
    for (const LostStretch& lost : salvage.lost)
        if (lost.begin > lost.end || lost.end > image.bytes.size()) std::abort();
    for (const Component& c : salvage.components) {
        if (c.position >= image.bytes.size()) std::abort();
        if (!c.head) continue;
        std::size_t got = 0;
        salvage_member(image, c, {count_piece, &got});
        if (got > std::min<std::size_t>(original_size(*c.head), member::kMaxMemberSize)) std::abort();
    }
    if (whole_chain(image, s)) {
        if (!salvage.lost.empty() || salvage.components.size() != s.components.size()) std::abort();
        for (std::size_t i = 0; i < s.components.size(); ++i)
            if (salvage.components[i].position != s.components[i].position) std::abort();
    }
    return 0;
}
