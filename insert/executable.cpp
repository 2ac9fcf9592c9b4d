// The body of a DOS executable.
#include "insert/executable.hpp"

#include "common/bytes.hpp"
#include "common/console.hpp"

namespace {
inline constexpr std::size_t kHeaderParagraphsAt = 8;
inline constexpr std::size_t kParagraph = 16;
}  // namespace

bool is_executable(std::span<const std::uint8_t> file) {
    return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
}

std::optional<std::vector<std::uint8_t>> component_body(std::span<const std::uint8_t> file, const std::string& name) {
    std::optional<std::vector<std::uint8_t>> body = executable_body(file);
    if (!body || body->empty()) {
        console::conf("%s holds no DOS executable body; nothing is added.\n", name.c_str());
        body.reset();
    }
    return body;
}

std::optional<std::vector<std::uint8_t>> executable_body(std::span<const std::uint8_t> file) {
    if (!is_executable(file)) return std::nullopt;
    // A file too short for the header's length field carries no body.
    const std::optional<std::uint16_t> paragraphs = bytes::get16(file, kHeaderParagraphsAt);
    if (!paragraphs) return std::vector<std::uint8_t>{};
    const std::size_t start = std::size_t{*paragraphs} * kParagraph;
    if (start >= file.size()) return std::vector<std::uint8_t>{};
    const std::span<const std::uint8_t> body = file.subspan(start);
    return std::vector<std::uint8_t>(body.begin(), body.end());
}
