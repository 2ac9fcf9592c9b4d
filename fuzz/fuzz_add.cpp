// The add's plan and write on damaged images with a fixed component: a PCI
// option ROM or a data table, picked by the last input byte. An add that
// fails under /err leaves the image byte-identical.
#include <cstdlib>

#include "fuzz/fuzz_support.hpp"
#include "testkit/components.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzz::enter_memory_folder();
    static const bool once = [] {
        testkit::RomFields pci;
        pci.size = 0x800;
        pci.base_class = 0x02;
        fuzz::put_file("pci.rom", testkit::option_rom(pci));
        std::vector<std::uint8_t> table(700);
        for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i * 7 / 5);
        fuzz::put_file("table.bin", table);
        return true;
    }();
    (void)once;
    const std::uint8_t pick = data[size - 1];
    const auto image = fuzz::patched_image(std::span(data, size - 1));
    fuzz::put_file("img.bin", image);
    const int status = (pick & 1) ? fuzz::run_tool({"img.bin", "/pci", "pci.rom", "/err"})
                                  : fuzz::run_tool({"img.bin", "/acpi", "table.bin", "/err"});
    if (status == 1 && fuzz::get_file("img.bin") != image) std::abort();
    return 0;
}
