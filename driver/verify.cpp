// /verify: the image check's lines and counts.
#include "driver/verify.hpp"

#include "common/console.hpp"
#include "driver/image_check.hpp"

Outcome verify_image(RunState& state, BiosImage& image) {
    console::outf("\nVerifying %s\n", state.input_file.c_str());
    const ImageCheck check = check_image(image);
    for (const Finding& f : check.findings) console::out(f.line + "\n");
    console::outf("%zu members checked, %d problems found\n", check.members.size(), check.problems);
    state.verify_problems += check.problems;
    return Outcome::NextGroup;
}
