// /verify and the JSON report on damaged images: they never change the
// image and always end with a verdict (status 0 or 1), the same for both.
#include <cstdlib>

#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::enter_memory_folder();
    const auto& image = fuzz::patched_image(std::span(data, size));
    fuzz::put_file("img.bin", image);
    const int status = fuzz::run_tool({"img.bin", "/verify"});
    if (status != 0 && status != 1) std::abort();
    if (fuzz::run_tool({"img.bin", "/json"}) != status) std::abort();
    if (!fuzz::file_is("img.bin", image)) std::abort();
    return 0;
}
