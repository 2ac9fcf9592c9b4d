// Entry of mozaik32: runs the driver and turns the one fatal error into exit status 1.
#include <cstdlib>
#include <new>

#include "common/console.hpp"
#include "common/fatal.hpp"
#include "driver/run.hpp"

int main(int argc, char** argv) {
    int status;
    try {
        status = run(argc, argv);
    } catch (const FatalError& e) {
        console::out(e.message);
        console::out("\n");
        status = 1;
    } catch (const std::bad_alloc&) {
        console::out("Out of memory.\n");
        status = 1;
    }
    console::flush();
    return status;
}
