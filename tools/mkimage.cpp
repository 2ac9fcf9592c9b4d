// mkimage: writes a synthetic system BIOS image (and sample component files)
// for the demo and for trying the tool by hand.
//
// Usage: mkimage OUT.bin [--size 128K|256K|512K|1M] [--chain sample|empty]
//                        [--member SEG:OFF:NAME:FILE]... [--samples DIR] [--parts DIR]
//        mkimage OUT.bin --showcase
//        mkimage -h | --help
//
//   --size     image size (default 256K).
//   --member   a stored ("-lh0-") member of TypeId SEG:OFF (hexadecimal),
//              stored name NAME, holding the bytes of FILE; members go into
//              the chain in the order given. Without --member the chain holds
//              a sample VGA ROM (4080:0) and a sample PCI ROM (4086:0).
//   --samples  also writes sample component files into DIR (made if missing):
//              vga.rom and isa.rom (option ROMs with 55 AA signature, length
//              byte and a zero byte sum) and data.bin.
//   --chain    empty: no sample members when no --member is given.
//   --parts    writes the demo's components into DIR (see write_parts).
//   --banked   the banked form of the boot block (1M images): the area ends
//              at 0xEC000, the record at 0xED000, a "*BT-VGA*" slot.
//   --checksum-at-end  the checksum block is the last 4 KB of the compressed
//              area (S - 0x6000), so that the check bytes stand at its
//              last two bytes; not with --banked.
//
// Layout, for an image of size S: a system BIOS member (5000:0) at offset 0,
// the chain from 0x10000, the rest 0xFF; the compressed area ends at
// S - 0x5000; "*BS1" at S - 0x4800 points there; the "*BBSS*" record at
// S - 0x2000 gives area end, checksum block S - 0x3000 and IMD block S - 0x1000.
// --showcase writes instead a 256 KB image that gives every kind of row of
// the listing (see testkit/listing_showcase.hpp).
// -h or --help prints the usage on standard output. An option mkimage does
// not know is an error, also in the place of OUT.bin.
// Exit status 0 on success, 1 on a bad argument or a file error.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/console.hpp"
#include "common/file.hpp"
#include "testkit/components.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/listing_showcase.hpp"
#include "testkit/microcode_builder.hpp"

namespace {

using testkit::KB;
using testkit::MemberFields;

// An option ROM of `size` bytes: 55 AA, length in 512-byte units, bytes summing to 0.
std::vector<std::uint8_t> option_rom(std::uint32_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> rom(size);
    for (std::uint32_t i = 0; i < size; ++i) rom[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 8));
    rom[0] = 0x55;
    rom[1] = 0xAA;
    rom[2] = static_cast<std::uint8_t>(size / 512);
    std::uint8_t sum = 0;
    for (std::uint32_t i = 0; i + 1 < size; ++i) sum = static_cast<std::uint8_t>(sum + rom[i]);
    rom[size - 1] = static_cast<std::uint8_t>(0x100 - sum);
    return rom;
}

std::vector<std::uint8_t> sample_data(std::uint32_t size) {
    std::vector<std::uint8_t> data(size);
    for (std::uint32_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>("mozaik32 sample "[i % 16]);
    return data;
}

std::uint32_t parse_size(const std::string& text) {
    if (text == "128K") return 128 * KB;
    if (text == "256K") return 256 * KB;
    if (text == "512K") return 512 * KB;
    if (text == "1M") return 1024 * KB;
    throw std::invalid_argument("size must be 128K, 256K, 512K or 1M: " + text);
}

std::uint16_t parse_hex16(const std::string& text) {
    std::size_t used = 0;
    unsigned long value = std::stoul(text, &used, 16);
    if (used != text.size() || value > 0xFFFF) throw std::invalid_argument("bad TypeId part: " + text);
    return static_cast<std::uint16_t>(value);
}

// "SEG:OFF:NAME:FILE" into a stored member holding FILE's bytes.
MemberFields parse_member(const std::string& text) {
    std::size_t a = text.find(':');
    std::size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    std::size_t c = b == std::string::npos ? b : text.find(':', b + 1);
    if (c == std::string::npos) throw std::invalid_argument("--member wants SEG:OFF:NAME:FILE: " + text);
    MemberFields fields;
    fields.type_segment = parse_hex16(text.substr(0, a));
    fields.type_offset = parse_hex16(text.substr(a + 1, b - a - 1));
    fields.name = text.substr(b + 1, c - b - 1);
    std::string path = text.substr(c + 1);
    auto data = read_file(path);
    if (!data) throw std::runtime_error("cannot read " + path);
    fields.data = std::move(*data);
    return fields;
}

void write_samples(const std::string& dir) {
    std::filesystem::create_directories(dir);
    for (auto [name, bytes] :
         {std::pair{"vga.rom", option_rom(0x2000, 0x31)}, std::pair{"isa.rom", option_rom(0x1000, 0x47)},
          std::pair{"data.bin", sample_data(0x3000)}}) {
        if (!write_file(dir + "/" + name, bytes)) throw std::runtime_error("cannot write " + dir + "/" + name);
    }
}

// The parts of the demo's build: two builds of one VGA ROM (same vendor,
// device and class), a PCI ROM, a font, a DOS executable carrying a table in
// its body, and a table that is stored uncompressed.
void write_parts(const std::string& dir) {
    std::filesystem::create_directories(dir);
    std::vector<std::uint8_t> font(0x1000);
    for (std::size_t i = 0; i < font.size(); ++i)
        font[i] = static_cast<std::uint8_t>((i % 16 > 2 && i % 16 < 13) ? 0x18 << (i / 16 % 3) : 0);
    std::vector<std::uint8_t> table = sample_data(0x300);
    const std::pair<const char*, std::vector<std::uint8_t>> parts[] = {
        {"vga.rom", testkit::option_rom({.size = 0x4000, .vendor = 0x10DE, .device = 0x0040, .build = 1})},
        {"vga_new.rom", testkit::option_rom({.size = 0x4000, .vendor = 0x10DE, .device = 0x0040, .build = 2})},
        {"pci.rom", testkit::option_rom({.size = 0x2000, .vendor = 0x8086, .device = 0x100E, .base_class = 2})},
        {"font.bin", font},
        {"tool.exe", testkit::dos_executable(sample_data(0x1800))},
        {"table.bin", table},
        {"ucode.exe", testkit::dos_executable(testkit::concat(
                          {testkit::intel_microcode({.revision = 0x21, .signature = 0x0F29, .flags = 0x10}),
                           testkit::intel_microcode({.revision = 0x08, .signature = 0x0686, .flags = 0x01})}))},
    };
    for (const auto& [name, bytes] : parts)
        if (!write_file(dir + "/" + name, bytes)) throw std::runtime_error("cannot write " + dir + "/" + name);
}

constexpr const char* kUsage =
    "usage: mkimage OUT.bin [--size 128K|256K|512K|1M] [--chain sample|empty]\n"
    "         [--banked | --checksum-at-end] [--member SEG:OFF:NAME:FILE]...\n"
    "         [--samples DIR] [--parts DIR]\n"
    "       mkimage OUT.bin --showcase\n"
    "       mkimage -h | --help\n"
    "Writes a synthetic BIOS image of the given size (default 256K) with a\n"
    "system BIOS member and a chain of stored members: the --member ones, or a\n"
    "sample VGA and PCI ROM. --samples DIR also writes vga.rom, isa.rom and\n"
    "data.bin there. --chain empty leaves the chain empty. --parts DIR writes\n"
    "the demo's components there: vga.rom, vga_new.rom (a newer build of it),\n"
    "pci.rom, font.bin, tool.exe, table.bin and ucode.exe (CPU microcode in an\n"
    "executable). --banked (1M only) gives the boot block the banked form and a\n"
    "*BT-VGA* slot. --checksum-at-end makes the checksum block the last 4 KB of\n"
    "the compressed area. --showcase writes an image with every kind of listing row.\n";

bool is_help(const std::string& arg) {
    return arg == "-h" || arg == "--help";
}

int make_image(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (is_help(arg)) {
            console::out(kUsage);
            return 0;
        }
    }
    if (args.empty()) throw std::invalid_argument(std::string("no output file\n") + kUsage);
    if (args[0].starts_with("-"))
        throw std::invalid_argument("unknown option " + args[0] + " (mkimage --help shows the usage)");
    std::string out = args[0];
    if (args.size() == 2 && args[1] == "--showcase") {
        testkit::listing_showcase_image().save(out);
        console::outf("%s: the listing showcase image\n", out.c_str());
        return 0;
    }
    std::uint32_t size = 256 * KB;
    std::vector<MemberFields> members;
    std::string samples, parts;
    bool sample_chain = true;
    bool banked = false;
    bool checksum_at_end = false;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        const std::string& option = args[i];
        if (option == "--banked" || option == "--checksum-at-end") {
            (option == "--banked" ? banked : checksum_at_end) = true;
            --i;  // takes no value
            continue;
        }
        if (option != "--size" && option != "--member" && option != "--samples" && option != "--parts" &&
            option != "--chain")
            throw std::invalid_argument("unknown argument " + option + " (mkimage --help shows the usage)");
        if (i + 1 >= args.size()) throw std::invalid_argument("missing value after " + option);
        const std::string& value = args[i + 1];
        if (option == "--size")
            size = parse_size(value);
        else if (option == "--member")
            members.push_back(parse_member(value));
        else if (option == "--parts")
            parts = value;
        else if (option == "--chain" && (value == "sample" || value == "empty"))
            sample_chain = value == "sample";
        else if (option == "--chain")
            throw std::invalid_argument("--chain is sample or empty: " + value);
        else
            samples = value;
    }
    if (banked && size != 1024 * KB) throw std::invalid_argument("--banked needs --size 1M");
    if (banked && checksum_at_end) throw std::invalid_argument("--checksum-at-end is not for --banked images");
    if (members.empty() && sample_chain) {
        members.push_back({.type_segment = 0x4080, .name = "VGA.ROM", .data = option_rom(0x2000, 0x31)});
        members.push_back({.type_segment = 0x4086, .name = "PCI.ROM", .data = option_rom(0x1800, 0x5B)});
    }

    testkit::SyntheticImage img(size);
    // Banked: the record in the lower window of the boot block, the area
    // ending below it at 0xEC000.
    const std::uint32_t area_end = banked ? 0xEC000 : size - 0x5000;
    img.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000, 0x42));
    std::uint32_t chain_end = 0x10000;
    for (const MemberFields& m : members) {
        std::uint64_t needed = std::uint64_t{chain_end} + m.name.size() + 27 + m.data.size() + 1;
        if (needed > area_end - 0x40) throw std::invalid_argument("members do not fit the image: " + m.name);
        chain_end = img.put_member(chain_end, m);
    }
    img.put_bs1(size - 0x4800, img.physical(area_end));
    // The record sits in the upper 64 KB window; its words are offsets in that window.
    if (!banked) {
        const std::uint16_t w8 = checksum_at_end ? 0xA000 : 0xD000;
        img.put_bbss({.window = 1, .offset = 0xE000, .w8 = w8, .w12 = 0xB000, .w18 = 0xF000});
    } else {
        // Bank 14: the bank block (0x800 bytes) and the check bytes in the
        // page at 0xEF000, above the area; a "*BT-VGA*" slot from 0xC000 to
        // 0xD000 of the top 64 KB, its record at 0xEE800.
        img.put_bbss({.window = 0,
                      .offset = 0xD000,
                      .w6 = 0xF00E,
                      .w8 = 0xD001,
                      .w12 = 0xC000,
                      .w18 = 0xF000,
                      .bank_length = 0x800});
        img.put_slot_record(0xE80, "*BT-VGA*", 0xC000, 0xD000);
    }
    // The check byte and the word sum as the tool's fix-ups leave them, so
    // that the new image checks out with /verify.
    const std::uint32_t checksum_block = banked ? 0xEF000 : checksum_at_end ? area_end - 0x1000 : size - 0x3000;
    testkit::balance_image(img.bytes, 0, checksum_block, img.top_base() + 0x1E054);
    img.save(out);
    if (!samples.empty()) write_samples(samples);
    if (!parts.empty()) write_parts(parts);
    console::outf("%s: %u bytes, %zu members from 10000h, area end %05Xh\n", out.c_str(), size, members.size(),
                  area_end);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int status;
    try {
        status = make_image(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        console::con(std::string("mkimage: ") + e.what() + "\n");
        status = 1;
    }
    console::flush();
    return status;
}
