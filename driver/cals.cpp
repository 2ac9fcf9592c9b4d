// /CALS: packs the RomFile quietly and reports the size of its work archive;
// the image is not touched and the archive stays behind as "bios.rom".
#include "driver/cals.hpp"

#include "archive/pack.hpp"
#include "common/console.hpp"
#include "image/group_files.hpp"
#include "image/work_files.hpp"

GroupResult run_cals(const Operand& op) {
    const GroupRequest& group = op.group;
    std::optional<std::vector<std::uint8_t>> archive =
        pack_member(group.rom_bytes, {.type_id = group.type_id,
                                      .name = group.rom_file,
                                      .encoder = group.best ? Encoder::Best : Encoder::Exact,
                                      .voice = console::voice()});
    // Not packed (the writer said why), or the archive not kept: no size to report.
    const Kept kept = archive ? keep_group_file(group, work_file::kArchive, *archive) : Kept::Refused;
    if (kept != Kept::Yes) {
        GroupResult r = kind_failed(group.code, Outcome::EndOfRun);
        r.write_failed = kept == Kept::WriteFailed;
        return r;
    }
    console::outf("%s compressed size is ... %.2fK\n", group.rom_file.c_str(),
                  static_cast<double>(archive->size()) / 1024.0);
    GroupResult r;
    r.next = Outcome::EndOfRun;
    return r;
}
