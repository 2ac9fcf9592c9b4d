// An option ROM's PCI identity: read from its data structure, and nothing
// when the structure, or any byte of it, lies outside the ROM.
#include "image/option_rom.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "testkit/components.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(OptionRom, IdentityOnlyWhenTheStructureLiesInside) {
    const Bytes rom =
        testkit::option_rom({.size = 0x800, .vendor = 0x8086, .device = 0x100E, .sub_class = 0, .base_class = 2});
    const PciIdentity intel{0x8086, 0x100E, 0, 2};
    const auto pointing_at = [](std::uint16_t at) {
        return [at](Bytes& b) {
            b[0x18] = static_cast<std::uint8_t>(at);
            b[0x19] = static_cast<std::uint8_t>(at >> 8);
        };
    };
    struct Case {
        const char* what;
        std::function<void(Bytes&)> edit;
        std::optional<PciIdentity> any, signed_one;  // pci_identity, signed_pci_identity
    };
    const Case cases[] = {
        {"as built", [](Bytes&) {}, intel, intel},
        {"cut just after the base class", [](Bytes& b) { b.resize(0x40 + 16); }, intel, intel},
        {"cut one byte before it", [](Bytes& b) { b.resize(0x40 + 15); }, std::nullopt, std::nullopt},
        {"cut before the pointer", [](Bytes& b) { b.resize(0x19); }, std::nullopt, std::nullopt},
        {"a pointer past the end", pointing_at(0xFFFF), std::nullopt, std::nullopt},
        {"no 55 AA", [](Bytes& b) { b[1] = 0; }, intel, std::nullopt},
        {"no \"PCIR\"", [](Bytes& b) { b[0x40] = 'X'; }, intel, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = rom;
        c.edit(b);
        EXPECT_EQ(pci_identity(b), c.any);
        EXPECT_EQ(signed_pci_identity(b), c.signed_one);
    }
}

}  // namespace
