// /CALS: packs the RomFile quietly and reports the size of its work archive;
// the image is not touched and the archive stays behind as "bios.rom".
#include "driver/cals.hpp"

#include "archive/pack.hpp"
#include "archive/work_files.hpp"
#include "common/console.hpp"
#include "insert/prepare.hpp"

Outcome run_cals(RunState& state) {
    PackOptions options{.type_id = state.type_id, .name = state.rom_file};
    std::optional<std::vector<std::uint8_t>> archive = pack_member(state.rom_bytes, options);
    // Not packed (the writer said why), or the archive not kept: no size to report.
    if (!archive || !keep_group_file(state, work_file::kArchive, *archive)) {
        state.fail(state.code);
        return Outcome::EndOfRun;
    }
    console::outf("%s compressed size is ... %.2fK\n", state.rom_file.c_str(),
                  static_cast<double>(archive->size()) / 1024.0);
    return Outcome::EndOfRun;
}
