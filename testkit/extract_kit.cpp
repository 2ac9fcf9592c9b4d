// Chain images, retagged members and PATH look-ups for the release and
// extract tests.
#include "testkit/extract_kit.hpp"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "testkit/workdir.hpp"

namespace testkit {

ChainImage chain_image(const std::vector<std::vector<std::uint8_t>>& members, std::optional<std::uint32_t> bs1) {
    ChainImage c;
    c.image.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000, 0x42));
    for (const auto& m : members) {
        c.positions.push_back(c.chain_end);
        c.chain_end = c.image.put_member(c.chain_end, m);
    }
    if (c.chain_end > kChainImageAreaEnd) throw std::out_of_range("members overrun the area");
    // The record in the upper 64 KB window (0x30000): area end at +0xB000.
    c.image.put_bbss({.window = 1, .offset = 0xE000, .w8 = 0xD000, .w12 = 0xB000, .w18 = 0xF000});
    if (bs1) c.image.put_bs1(c.image.size() - 0x4800, c.image.physical(*bs1));
    return c;
}

void retag_member(std::vector<std::uint8_t>& member, std::uint16_t type_segment, std::uint16_t type_offset) {
    if (member.size() < 19 || member[0] + 2u > member.size()) throw std::invalid_argument("no member header");
    member[15] = static_cast<std::uint8_t>(type_offset);
    member[16] = static_cast<std::uint8_t>(type_offset >> 8);
    member[17] = static_cast<std::uint8_t>(type_segment);
    member[18] = static_cast<std::uint8_t>(type_segment >> 8);
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < member[0] + 2u; ++i) sum = static_cast<std::uint8_t>(sum + member[i]);
    member[1] = sum;
}

std::vector<std::uint8_t> first_lzh_member(const std::string& archive) {
    std::vector<std::uint8_t> bytes = slurp(archive);
    if (bytes.size() < 22 || bytes[0] == 0) throw std::runtime_error("no member in " + archive);
    const std::size_t header = bytes[0] + 2u;
    const std::size_t packed = bytes[7] | bytes[8] << 8 | bytes[9] << 16 | static_cast<std::size_t>(bytes[10]) << 24;
    if (header + packed > bytes.size()) throw std::runtime_error("member cut short in " + archive);
    bytes.resize(header + packed);
    return bytes;
}

namespace {
// A regular file with an execute bit (what root may run).
bool executable(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    constexpr fs::perms any_exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    return fs::is_regular_file(status) && (status.permissions() & any_exec) != fs::perms::none;
}
}  // namespace

std::optional<std::string> find_on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path) return std::nullopt;
    std::string dirs = path;
    for (std::size_t at = 0; at <= dirs.size();) {
        std::size_t colon = dirs.find(':', at);
        if (colon == std::string::npos) colon = dirs.size();
        std::string dir = dirs.substr(at, colon - at);
        std::string full = (dir.empty() ? "." : dir) + "/" + program;
        if (executable(full)) return full;
        at = colon + 1;
    }
    return std::nullopt;
}

}  // namespace testkit
