// read_member_header on arbitrary bytes, and the in-memory expansion of the
// member they may start (at most 64 KiB of it).
#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "common/console.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    console::Capture quiet;
    (void)read_member_header(bytes);
    (void)expand_member(bytes, 65536);
    return 0;
}
