// /verify: the image check's lines and counts, from the image's survey.
#include "driver/verify.hpp"

#include "common/console.hpp"
#include "image/image_writer.hpp"
#include "image/survey.hpp"

GroupResult verify_image(const Operand& op) {
    const BiosImage& image = op.image.image();
    console::outf("\nVerifying %s\n", image.path.c_str());
    const ImageSurvey survey = survey_image(image, SurveyDepth::Checked);
    const ImageCheck& check = *survey.check;
    for (const Finding& f : check.findings) console::out(f.line + "\n");
    console::outf("%zu members checked, %d problems found\n", check.members.size(), check.problems);
    GroupResult r;
    r.problems = check.problems;
    return r;
}
