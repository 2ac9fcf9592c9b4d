// /verify: the image check's lines and counts. It needs the chain's walk
// and the check alone, none of the listing's records (the microcode
// capture expands its member once more).
#include "report/verify.hpp"

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/chain.hpp"
#include "image/image_check.hpp"
#include "image/image_writer.hpp"

GroupResult verify_image(const Operand& op) {
    const BiosImage& image = op.image.image();
    console::outf("\nVerifying %s\n", image.path.c_str());
    const ImageCheck check = check_image(image, walk_image_chain(image));
    for (const Finding& f : check.findings)
        console::out(console::fitted(f.line) + "\n");  // broken at blanks, never inside a number
    console::outf("%zu members checked, %d problems found\n", check.members.size(), check.problems);
    GroupResult r;
    r.problems = check.problems;
    return r;
}
