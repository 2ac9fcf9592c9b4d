// The picture conversions on arbitrary bytes: the first byte picks
// logo_convert (Logo or EPA, its palette option), osb_convert or
// logo_to_bmp; the rest is the file. A conversion gives an image exactly
// when it succeeds, and that image is one logo_to_bmp takes.
#include <cstdlib>

#include "common/console.hpp"
#include "common/fatal.hpp"
#include "picture/logo.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> file(data + 1, size - 1);
    const std::uint8_t pick = data[0];
    const std::string name = "in.bin";
    console::Capture quiet;
    try {
        LogoConversion done;
        switch (pick % 4) {
        case 0: done = logo_convert(file, name, LogoMode::Logo, pick >> 2, pick & 0x80); break;
        case 1: done = logo_convert(file, name, LogoMode::Epa, pick >> 2, pick & 0x80); break;
        case 2: done = osb_convert(file, name, OsbPosition{pick, 3}); break;
        default: (void)logo_to_bmp(file, name); return 0;
        }
        if (done.image.empty() != (done.colours == LogoColours::Failed)) std::abort();
        if (done.colours != LogoColours::Failed && !logo_to_bmp(done.image, name)) std::abort();
    } catch (const FatalError&) {
    }
    return 0;
}
