// The tool built with the tests, run as a child process.
#include "testkit/run.hpp"

namespace testkit {

RunResult run_tool(const std::vector<std::string>& args, const RunOptions& options) {
    return run_program(MOZAIK32_BINARY, args, options);
}

std::string unfolded(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            out.push_back(text[i]);
        } else if (text.compare(i + 1, 2, "  ") == 0) {
            out.push_back(' ');
            i += 2;
        }
    }
    return out;
}

}  // namespace testkit
