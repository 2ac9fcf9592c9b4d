// read_member_header on arbitrary bytes, and the in-memory expansion of the
// member they may start (at most 64 KiB of it).
#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::enter_memory_folder();
    fuzz::put_file("member.bin", std::span(data, size));
    File file("member.bin", "rb");
    console::Capture quiet;
    try {
        (void)read_member_header(file);
        bool ended_early = false;
        (void)expand_in_memory(file, 0, 65536, &ended_early);
    } catch (const FatalError&) {
    }
    return 0;
}
