// The near-optimal LH5 packer on arbitrary input: byte 0 says how many
// times (1 to 8) the rest is repeated, so that long and far matches occur;
// the stream must expand to the input, and the /best member must expand to
// it and be no larger than the exact member.
#include <cstdlib>
#include <span>
#include <vector>

#include "archive/best_encoder.hpp"
#include "archive/extract.hpp"
#include "archive/lh5_decoder.hpp"
#include "archive/pack.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    std::vector<std::uint8_t> input;
    for (int i = 0; i <= (data[0] & 7); ++i) input.insert(input.end(), rest.begin(), rest.end());

    const std::vector<std::uint8_t> stream = lh5_compress_best(input);
    if (lh5_expand_buffer(stream, input.size()) != input) std::abort();

    const auto best = pack_member(input, {.name = "f.rom", .encoder = Encoder::Best});
    const auto exact = pack_member(input, {.name = "f.rom"});
    if (!best || !exact || best->size() > exact->size()) std::abort();
    const Expansion e = expand_member(*best);
    if (e.status != Expansion::Status::Complete || e.data != input) std::abort();
    return 0;
}
