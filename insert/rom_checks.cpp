// Option ROM signature, ISA sum, and whether two ROMs are the same ROM.
#include "insert/rom_checks.hpp"

#include <algorithm>
#include <numeric>

#include "common/bytes.hpp"
#include "common/console.hpp"
#include "image/option_rom.hpp"

namespace {

inline constexpr std::size_t kLengthAt = 2;
inline constexpr std::size_t kBlock = 512;

bool isa_sum_ok(std::span<const std::uint8_t> rom) {
    const std::size_t length = std::size_t{rom[kLengthAt]} * kBlock;
    if (length == 0) return true;
    if (rom.size() < length) return false;
    return std::accumulate(rom.begin(), rom.begin() + static_cast<std::ptrdiff_t>(length), 0u,
                           [](unsigned sum, std::uint8_t b) { return (sum + b) & 0xFF; }) == 0;
}

// ISA ROMs are told apart by their bytes, and must sum to 0.
bool isa_rules(OptionCode c) {
    return kind(c).family && kind(c).family->isa_rules;
}

}  // namespace

bool is_rom_kind(OptionCode c) {
    return kind(c).family != nullptr;
}

bool has_rom_signature(std::span<const std::uint8_t> rom) {
    return rom.size() > kLengthAt && rom[0] == 0x55 && rom[1] == 0xAA;
}

bool check_option_rom(OptionCode c, std::span<const std::uint8_t> rom, const std::string& rom_file) {
    bool ok = has_rom_signature(rom);
    if (ok && isa_rules(c)) ok = isa_sum_ok(rom);
    if (!ok) console::conf("CAUTION: %s file is not BIOS ROM\n", rom_file.c_str());
    return ok;
}

bool same_rom(OptionCode c, std::span<const std::uint8_t> new_rom, std::span<const std::uint8_t> old_rom) {
    if (isa_rules(c))
        return old_rom.size() >= new_rom.size() && std::equal(new_rom.begin(), new_rom.end(), old_rom.begin());
    auto a = pci_identity(new_rom);
    auto b = pci_identity(old_rom);
    return a && b && *a == *b;
}
