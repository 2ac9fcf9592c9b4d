// Release and extract on damaged chains. The last input byte picks the kind
// and the operation; the instance prompt gets "1" or "A", the name prompt
// "out.bin". An extract never changes the image; a release that fails
// under /err leaves it byte-identical.
#include <cstdlib>

#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzz::enter_memory_folder();
    static const char* const kinds[] = {"/vga", "/pci", "/logo", "/acpi", "/epa", "/isa", "/group3", "/cpucode"};
    const std::uint8_t pick = data[size - 1];
    const bool extract = pick & 1;
    const auto& image = fuzz::patched_image(std::span(data, size - 1));
    fuzz::put_file("img.bin", image);
    const int status = fuzz::run_tool({"img.bin", kinds[(pick >> 1) % 8], extract ? "extract" : "release", "/err"},
                                      (pick & 0x10) ? "A\nout.bin\n" : "1\n\n");
    if ((extract || status == 1) && !fuzz::file_is("img.bin", image)) std::abort();
    return 0;
}
