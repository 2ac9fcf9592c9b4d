// Placeholder run: replaced by the command-line driver.
#include "driver/run.hpp"

#include "common/console.hpp"

int run(int, char**) {
    console::out("MOZAIK32 V1.52 [08/17/05 Release]\n");
    return 0;
}
