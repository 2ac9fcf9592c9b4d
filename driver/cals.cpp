// /CALS: packs the RomFile quietly into the work archive and reports the
// archive's size; the image is not touched and the archive stays behind.
#include "driver/cals.hpp"

#include "archive/pack.hpp"
#include "archive/settings.hpp"
#include "common/console.hpp"
#include "image/records.hpp"

Outcome run_cals(RunState& state) {
    if (!pack_component(state.rom_file, pack_flags::kQuiet)) {
        // Not packed (the writer said why): the archive is not this file's,
        // so its size would be a wrong answer.
        state.fail(state.code);
        return Outcome::EndOfRun;
    }
    const std::int64_t size = counted_file_size(archive_settings().archive_name);
    console::outf("%s compressed size is ... %.2fK\n", state.rom_file.c_str(),
                  static_cast<double>(size) / 1024.0);
    return Outcome::EndOfRun;
}
