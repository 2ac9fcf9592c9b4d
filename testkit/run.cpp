// The tool built with the tests, run as a child process.
#include "testkit/run.hpp"

namespace testkit {

RunResult run_tool(const std::vector<std::string>& args, const RunOptions& options) {
    return run_program(MOZAIK32_BINARY, args, options);
}

}  // namespace testkit
