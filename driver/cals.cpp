// Placeholder until the codec lands: says so on the console channel.
#include "driver/cals.hpp"

#include "common/console.hpp"

Outcome run_cals(RunState&) {
    console::con("mozaik32: the compressed-size report (/CALS) is not built yet; the image is unchanged.\n");
    return Outcome::EndOfRun;
}
