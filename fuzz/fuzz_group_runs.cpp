// Runs of 2 to 6 option groups drawn from the input (byte 0 picks the base
// image, then two bytes a choice) on the test kit's small run images, each
// checked for the properties that guard an image: the top block unchanged
// unless the run places one, members of kinds no group names kept, a run
// with status 0 leaving an image /verify finds clean, and the same run with
// /dry first changing nothing and foretelling the status and the image.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_support.hpp"
#include "testkit/group_runs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    fuzz::enter_memory_folder();
    static const bool once = [] {
        testkit::write_run_parts();
        return true;
    }();
    (void)once;
    std::size_t at = 1;
    auto pick = [&]() -> std::uint32_t {
        std::uint32_t v = 0;
        for (int k = 0; k < 2; ++k) v = v << 8 | (at < size ? data[at++] : 0);
        return v;
    };
    // The 1 MB banked image one input in eight, the small ones otherwise.
    const auto& images = testkit::small_run_images();
    const testkit::RunImage& image = images[data[0] % 8 == 7 ? images.size() - 1 : data[0] % (images.size() - 1)];
    const testkit::GroupRun run = testkit::make_run(pick);
    const std::string broken = testkit::check_run(image, run);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s: %s\n", testkit::describe(image, run).c_str(), broken.c_str());
        std::abort();
    }
    return 0;
}
