// The add's plan and write on damaged images with a fixed component: a PCI
// option ROM, a data table or the table stored uncompressed, picked by the
// last input byte. An add that fails under /err leaves the image
// byte-identical.
#include <cstdlib>

#include "fuzz/fuzz_support.hpp"
#include "testkit/components.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzz::enter_memory_folder();
    static const bool once = [] {
        testkit::RomFields pci;
        pci.size = 0x200;  // small: each run packs it anew
        pci.base_class = 0x02;
        fuzz::put_file("pci.rom", testkit::option_rom(pci));
        std::vector<std::uint8_t> table(300);
        // Few symbols: a short code table to build.
        for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i / 25);
        fuzz::put_file("table.bin", table);
        return true;
    }();
    (void)once;
    const std::uint8_t pick = data[size - 1];
    const auto& image = fuzz::patched_image(std::span(data, size - 1));
    fuzz::put_file("img.bin", image);
    // Half the runs store the table as it is, so that the codec's fixed cost
    // is not paid on every run.
    const int status = (pick & 1)   ? fuzz::run_tool({"img.bin", "/NoCompress", "table.bin", "/err"})
                       : (pick & 2) ? fuzz::run_tool({"img.bin", "/pci", "pci.rom", "/err"})
                                    : fuzz::run_tool({"img.bin", "/acpi", "table.bin", "/err"});
    if (status == 1 && !fuzz::file_is("img.bin", image)) std::abort();
    return 0;
}
