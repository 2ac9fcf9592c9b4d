// DOS executables as carriers of components: "MZ", then at offset 8 the
// length of the DOS header in 16-byte paragraphs; the component is the body
// behind that header, to the end of the file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// True when `file` begins with "MZ".
bool is_executable(std::span<const std::uint8_t> file);

// The body of the executable `file`: the bytes from the DOS header length
// on (empty when the header claims the whole file or more). Nothing when
// `file` is no executable.
std::optional<std::vector<std::uint8_t>> executable_body(std::span<const std::uint8_t> file);

// The body of `file`, the executable `name`, as a component. An empty body
// or a file that is no executable gives no component: "%s holds no DOS
// executable body; nothing is added." on the console channel, and nothing.
std::optional<std::vector<std::uint8_t>> component_body(std::span<const std::uint8_t> file, const std::string& name);
