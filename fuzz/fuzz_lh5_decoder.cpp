// The LH5 decoder on arbitrary streams: 2 bytes of original size (at most
// 64 KiB, eight output pieces), then the stream. Every outcome but "Bad table" or an output of at
// most the asked length is a fault.
#include <cstdlib>
#include <span>

#include "archive/lh5_decoder.hpp"
#include "common/fatal.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t asked = (std::size_t{data[0]} << 8) | data[1];
    try {
        const auto out = lh5_expand_buffer(std::span(data + 2, size - 2), asked);
        if (out.size() > asked) std::abort();
    } catch (const FatalError& e) {
        if (e.message != "Bad table") std::abort();
    }
    return 0;
}
