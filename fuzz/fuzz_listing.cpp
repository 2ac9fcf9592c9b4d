// open_image and the listing (/D) on damaged images; a listing never
// changes the image.
#include <cstdlib>

#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::enter_memory_folder();
    const auto& image = fuzz::patched_image(std::span(data, size));
    fuzz::put_file("img.bin", image);
    fuzz::run_tool({"img.bin", "/D"});
    if (!fuzz::file_is("img.bin", image)) std::abort();
    return 0;
}
