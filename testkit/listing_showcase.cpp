// The sample image with every kind of listing row.
#include "testkit/listing_showcase.hpp"

#include <string>

#include "testkit/microcode_builder.hpp"

namespace testkit {

SyntheticImage listing_showcase_image() {
    using namespace std::string_literals;
    SyntheticImage image(256 * KB);
    image.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0xE000));

    std::vector<std::uint8_t> cpucode =
        concat({intel_microcode({0x0A, 0x0F12, 0x01, 0, 0x11}), intel_microcode({0x0B, 0x0633, 0x02, 0, 0x12}),
                intel_microcode({0x0C, 0x0F24, 0x04, 0, 0x13})});
    image.put_chain(0x10000, {stored_member(0x4080, 0, "VGA.ROM", 0x2000), stored_member(0x4086, 0, "PCI.ROM", 0x1800),
                              cpucode_member(cpucode, false), stored_member(0x405C, 0, "KRV-JPEG.BIN", 0x800),
                              stored_member(0x9000, 0, "OEM.BIN", 0x400)});

    BbssFields bbss;
    bbss.w8 = 0xC000;
    bbss.w12 = 0xF000;
    bbss.w21 = 0x4000;
    image.put_bbss(bbss);
    std::vector<std::vector<std::uint8_t>> table;
    for (std::uint32_t i = 0; i < 5; ++i) table.push_back(intel_microcode({0x30 + i, 0x06B1, 0x08, 0, 0x21}));
    image.put(0x24000, concat(table));

    IntelEntry long_entry{0x21, 0x0686, 0x10, 0x1000, 0x41};
    put_top_microcode(image, 0x2F000,
                      concat({intel_microcode({0x20, 0x06B1, 0x08, 0, 0x40}), intel_microcode(long_entry)}), 0x2F800);

    put_bt_vga_slot(image, 1, 0x8000, 0xA000, member_bytes(stored_member(0x4000, 0, "VGABIOS.ROM", 0x3000)));
    image.fill(top64(image, 0x2000), 0x1000, 0x00);
    put_nvdamm_slot(image, 3, 0x2000, 0x3000, 0x2400, "NVMM\0NV44 DDR\0\0REV 1.02"s);
    image.put_record16(6, "BtBkVgaRom");
    image.put(image.top_base() + 7 * 16, std::vector<std::uint8_t>{0x55, 0xAA, 0x00, 0x00, 0x40});
    return image;
}

}  // namespace testkit
