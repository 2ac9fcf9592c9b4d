// Option ROMs, DOS executables and image sums for tests.
#include "testkit/components.hpp"

#include <stdexcept>

namespace testkit {

std::vector<std::uint8_t> option_rom(const RomFields& f) {
    if (f.size == 0 || f.size % 512 != 0 || f.size / 512 > 255) throw std::invalid_argument("ROM size");
    std::vector<std::uint8_t> rom(f.size);
    for (std::size_t i = 0; i < rom.size(); ++i)
        rom[i] = static_cast<std::uint8_t>((i * 7 + f.build * 13 + (i >> 8)) & 0xFF);
    rom[0] = 0x55;
    rom[1] = 0xAA;
    rom[2] = static_cast<std::uint8_t>(f.size / 512);
    rom[0x18] = 0x40;
    rom[0x19] = 0x00;
    const std::uint8_t pcir[] = {'P',
                                 'C',
                                 'I',
                                 'R',
                                 static_cast<std::uint8_t>(f.vendor),
                                 static_cast<std::uint8_t>(f.vendor >> 8),
                                 static_cast<std::uint8_t>(f.device),
                                 static_cast<std::uint8_t>(f.device >> 8),
                                 0,
                                 0,
                                 0x18,
                                 0,
                                 0,
                                 0,
                                 f.sub_class,
                                 f.base_class,
                                 static_cast<std::uint8_t>(f.size / 512),
                                 0,
                                 0,
                                 0,
                                 0,
                                 0x80,
                                 0,
                                 0};
    std::copy(std::begin(pcir), std::end(pcir), rom.begin() + 0x40);
    rom.back() = 0;
    rom.back() = static_cast<std::uint8_t>(0x100 - byte_sum(rom));
    return rom;
}

std::vector<std::uint8_t> dos_executable(std::span<const std::uint8_t> body, std::uint16_t header_paragraphs) {
    std::vector<std::uint8_t> exe(std::size_t{header_paragraphs} * 16, 0);
    if (exe.size() < 0x1C) throw std::invalid_argument("an MZ header takes at least 2 paragraphs");
    const std::size_t total = exe.size() + body.size();
    exe[0] = 'M';
    exe[1] = 'Z';
    exe[2] = static_cast<std::uint8_t>(total % 512);  // bytes in the last page
    exe[3] = static_cast<std::uint8_t>((total % 512) >> 8);
    const std::size_t pages = (total + 511) / 512;
    exe[4] = static_cast<std::uint8_t>(pages);
    exe[5] = static_cast<std::uint8_t>(pages >> 8);
    exe[8] = static_cast<std::uint8_t>(header_paragraphs);
    exe[9] = static_cast<std::uint8_t>(header_paragraphs >> 8);
    exe[0x18] = 0x1C;  // relocation table offset: none follow
    exe.insert(exe.end(), body.begin(), body.end());
    return exe;
}

std::uint16_t word_sum(std::span<const std::uint8_t> data) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) sum += data[i] | (data[i + 1] << 8);
    return static_cast<std::uint16_t>(sum);
}

std::uint8_t byte_sum(std::span<const std::uint8_t> data) {
    unsigned sum = 0;
    for (std::uint8_t b : data) sum += b;
    return static_cast<std::uint8_t>(sum);
}

void balance_image(std::vector<std::uint8_t>& image, std::uint32_t first, std::uint32_t checksum_block,
                   std::uint32_t balance_at) {
    const std::uint32_t check = checksum_block + 0xFFE;
    if (check + 2 > image.size() || balance_at % 2 != 0 || balance_at + 2 > image.size() || first > check)
        throw std::invalid_argument("balance_image: positions outside the image");
    image[check] = byte_sum(std::span(image).subspan(first, check - first));
    image[balance_at] = image[balance_at + 1] = 0;
    const std::uint16_t rest = word_sum(image);
    const std::uint16_t balance = static_cast<std::uint16_t>(0x10000 - rest);
    image[balance_at] = static_cast<std::uint8_t>(balance);
    image[balance_at + 1] = static_cast<std::uint8_t>(balance >> 8);
}

}  // namespace testkit
