// Tests that need a Linux program (the LZH peers, Python, setpriv, a shell)
// or facility (pseudo-terminals, file modes, symbolic links) skip
// themselves under Windows and say which.
#pragma once

#include <gtest/gtest.h>

#include "common/platform.hpp"

#define MOZAIK_LINUX_ONLY(what)  \
    if (!platform::kWindows) { \
    } else                       \
        GTEST_SKIP() << "under Windows: needs " << (what) << ", a Linux facility"
