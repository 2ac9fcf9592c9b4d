// The platform calls that are the same on every system, built on the
// system's own ones of platform_posix.cpp and platform_windows.cpp.
#include "common/platform.hpp"

#include <random>

namespace platform {

std::string unguessable_name(const std::string& stem, const std::string& suffix) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device entropy;  // the system's random source
    std::string name = stem + ".";
    for (int i = 0; i < 12; ++i) name += kLetters[entropy() % (sizeof kLetters - 1)];
    return name + suffix;
}

std::optional<std::vector<std::uint8_t>> read_all(const FileHandle& file, std::size_t limit) {
    std::vector<std::uint8_t> out;
    std::uint8_t chunk[65536];
    for (;;) {
        const std::optional<std::size_t> n = read_at(file, out.size(), chunk);
        if (!n) return std::nullopt;
        if (*n == 0) return out;
        if (out.size() + *n > limit) return std::nullopt;
        out.insert(out.end(), chunk, chunk + *n);
    }
}

}  // namespace platform
