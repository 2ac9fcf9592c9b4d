// Operations whose code is not built yet. Each says so on the console
// channel and leaves the image untouched; each is removed from here when
// its real implementation lands.
#include "common/console.hpp"
#include "driver/operations.hpp"

namespace {

Outcome not_built(const char* what) {
    console::conf("mozaik32: %s is not built yet; the image is unchanged.\n", what);
    return Outcome::NextGroup;
}

}  // namespace

Outcome add_boot_block_vga(RunState&, BiosImage&) { return not_built("the boot-block VGA ROM (/btvga)"); }

Outcome add_memory_module(RunState&, BiosImage&) { return not_built("the memory module (/NVMM)"); }

Outcome add_top_microcode(RunState&, BiosImage&) {
    return not_built("the uncompressed CPU microcode block (/NC_CPUCODE)");
}
