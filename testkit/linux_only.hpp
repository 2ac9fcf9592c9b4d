// Tests that need a Linux program (the LZH peers, Python, setpriv, a shell)
// or facility (pseudo-terminals, file modes, symbolic links) skip
// themselves under Windows and say which. A test whose peer or tool is
// missing (the test command installs them all) skips elsewhere and says
// why, but fails under CI (CI=true), so that no CI run passes with that
// coverage gone.
#pragma once

#include <gtest/gtest.h>

#include "common/platform.hpp"

namespace testkit {
inline bool under_ci() {
    return platform::environment("CI").value_or("") == "true";
}
}  // namespace testkit

#define MOZAIK_LINUX_ONLY(what) \
    if (!platform::kWindows) {  \
    } else                      \
        GTEST_SKIP() << "under Windows: needs " << (what) << ", a Linux facility"

#define MOZAIK_NEEDS(have, what)                                     \
    if (have) {                                                      \
    } else if (testkit::under_ci())                                  \
        FAIL() << "missing under CI, which installs it: " << (what); \
    else                                                             \
        GTEST_SKIP() << (what)
