// The picture conversions on arbitrary files: the first byte picks
// logo_convert (Logo or EPA, its palette option), osb_convert or
// logo_to_bmp; the rest is the file.
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "fuzz/fuzz_support.hpp"
#include "insert/logo.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzz::enter_memory_folder();
    fuzz::put_file("in.bin", std::span(data + 1, size - 1));
    const std::uint8_t pick = data[0];
    console::Capture quiet;
    try {
        switch (pick % 4) {
        case 0: (void)logo_convert("in.bin", "out.bin", LogoMode::Logo, pick >> 2, pick & 0x80); break;
        case 1: (void)logo_convert("in.bin", "out.bin", LogoMode::Epa, pick >> 2, pick & 0x80); break;
        case 2: (void)osb_convert("in.bin", "out.bin", OsbPosition{pick, 3}); break;
        default: (void)logo_to_bmp("in.bin"); break;
        }
    } catch (const FatalError&) {
    }
    return 0;
}
