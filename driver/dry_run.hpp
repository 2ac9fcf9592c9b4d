// /dry: a run that does everything it would do against its copy of the
// image in memory, prints what it prints, and then says what would change,
// writing nothing: the image is not saved, and the files the run writes
// (work files, extracted files) go to a private temporary folder that is
// removed with the run. The report names the members added, replaced,
// moved and removed, the bytes changed outside the chain, the files the run
// would write and the exit status it would have, as text or, with /json, as
// one JSON document.
#pragma once

#include <optional>
#include <cstdint>
#include <string>
#include <vector>

struct BiosImage;
struct RunState;

// A private folder for a dry run's files; removed, with all it holds, when
// it goes out of scope (a fatal error included).
struct PrivateFolder {
    std::string path;

    PrivateFolder() = default;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder();
};

// Makes a new folder of this process under the system's temporary folder.
// False when none can be made.
[[nodiscard]] bool make_private_folder(PrivateFolder& folder);

// The report of a dry run. `before`: the image as the run opened it;
// `after`: as the run would leave it (the same when it would write nothing);
// `status`: the exit status the run would have.
void report_dry_run(const RunState& state, const BiosImage& before, const BiosImage& after, int status,
                    const std::string& folder);

// Bytes that differ between two images of one size outside the chain, each
// named by the writer's region it lies in ("check_bytes", "top_block", ...,
// "other"); a named region is one range from its first differing byte to
// its last, "other" one range per stretch.
struct ByteChange {
    std::uint32_t offset = 0, length = 0;
    std::string what;
};
std::vector<ByteChange> byte_changes(const BiosImage& before, const BiosImage& after);
