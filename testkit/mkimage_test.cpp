// mkimage's command line: help on request, and an option it does not know is
// an error that writes nothing, never the name of the image to make.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

TEST(Mkimage, HelpAndUnknownOptions) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out;  // expected at the start of standard output
        const char* err;  // expected within the console channel
    } cases[] = {
        {{"-h"}, 0, "usage: mkimage OUT.bin", ""},
        {{"--help"}, 0, "usage: mkimage OUT.bin", ""},
        {{"img.bin", "--size", "128K", "--help"}, 0, "usage: mkimage OUT.bin", ""},
        {{}, 1, "", "mkimage: no output file"},
        {{"-x"}, 1, "", "mkimage: unknown option -x"},
        {{"--size", "128K"}, 1, "", "mkimage: unknown option --size"},
        {{"img.bin", "--bogus", "1"}, 1, "", "mkimage: unknown argument --bogus"},
        {{"img.bin", "--bogus"}, 1, "", "mkimage: unknown argument --bogus"},
        {{"img.bin", "--size"}, 1, "", "mkimage: missing value after --size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0] + " ... (" + std::to_string(c.args.size()) + ")");
        testkit::WorkDir dir;
        const auto r = testkit::run_program(MKIMAGE_BINARY, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(r.out.starts_with(c.out)) << r.out;
        if (*c.err)
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        else
            EXPECT_EQ(r.err, "");
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a file was written";
    }
}
