// The fuzz targets' shared pieces: the memory-backed folder, images patched
// from a synthetic base by the input, and runs of the tool in this process.
#include "fuzz/fuzz_support.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "testkit/components.hpp"
#include "testkit/group_runs.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/members.hpp"
#include "testkit/microcode_builder.hpp"

namespace fuzz {

void enter_memory_folder() {
    static bool done = false;
    if (done) return;
    const std::string dir = "/dev/shm/mozaik-fuzz-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    // The dry run's private folder, made under the temporary folder, too.
    setenv("TMPDIR", dir.c_str(), 1);
    static const std::string folder = dir;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    });
    done = true;
}

namespace {

// The base images, 128 KB each with small members (the smallest image
// size, so that a run costs little): a system BIOS member at 0, then from
// 64 KB a chain of packed and stored members of several kinds (option ROMs,
// a logo, CPU microcode, a table), the "*BBSS*" record in the upper window
// giving the area's end 0x1B000, and in the second image a "*BS1" record.
const std::vector<std::vector<std::uint8_t>>& bases() {
    static const std::vector<std::vector<std::uint8_t>> images = [] {
        testkit::RomFields vga;
        vga.size = 0x1000;
        testkit::RomFields pci;
        pci.size = 0x800;
        pci.device = 0x1234;
        pci.base_class = 0x02;
        const auto vga_rom = testkit::option_rom(vga);
        const auto pci_rom = testkit::option_rom(pci);
        std::vector<std::uint8_t> logo = {'K', 'R', 'B', 'M', 8, 0, 2, 0};
        logo.resize(8 + 16, 3);
        for (char c : std::string("RGB ")) logo.push_back(static_cast<std::uint8_t>(c));
        logo.resize(logo.size() + 768, 9);
        const auto ucode = testkit::intel_microcode(testkit::IntelEntry{});
        const std::vector<std::vector<std::uint8_t>> members = {
            testkit::member_bytes(testkit::packed_member(0x4080, 0, "VGA.ROM", vga_rom)),
            testkit::member_bytes(testkit::packed_member(0x4086, 0, "PCI.ROM", pci_rom)),
            testkit::member_bytes(testkit::packed_member(0x4000, 0, "LOGO.BMP", logo)),
            testkit::member_bytes(testkit::packed_member(0x4001, 0, "CPUCODE.BIN", ucode)),
            testkit::member_bytes(testkit::stored_member(0x4003, 0, "ACPI.BIN", 300)),
        };
        constexpr std::uint32_t kAreaEnd = 0x1B000;
        std::vector<std::vector<std::uint8_t>> out;
        for (bool bs1 : {false, true}) {
            testkit::SyntheticImage img(128 * testkit::KB);
            img.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x1000, 0x42));
            std::uint32_t at = 0x10000;
            for (const auto& m : members) at = img.put_member(at, m);
            if (at > kAreaEnd) std::abort();
            img.put_bbss({.window = 1, .offset = 0xE000, .w8 = 0xD000, .w12 = 0xB000, .w18 = 0xF000});
            if (bs1) img.put_bs1(img.size() - 0x4800, img.physical(kAreaEnd));
            out.push_back(img.bytes);
        }
        return out;
    }();
    return images;
}

}  // namespace

const std::vector<std::uint8_t>& patched_image(std::span<const std::uint8_t> input) {
    static std::vector<std::uint8_t> image;  // reused: no fresh pages on each run
    if (input.empty()) return image = bases()[0];
    const std::uint8_t pick = input[0];
    image = bases()[pick & 1];
    // Bits 1-7: 0 keeps the whole image, else it is cut to that many 2 KiB.
    if (pick >> 1) image.resize(std::min<std::size_t>(image.size(), static_cast<std::size_t>(pick >> 1) * 2048));
    std::size_t at = 1;
    while (!image.empty() && at + 4 <= input.size()) {
        const std::size_t offset =
            ((std::size_t{input[at]} << 16) | (std::size_t{input[at + 1]} << 8) | input[at + 2]) % image.size();
        const std::size_t n = std::min<std::size_t>(input[at + 3], input.size() - at - 4);
        at += 4;
        for (std::size_t i = 0; i < n && offset + i < image.size(); ++i) image[offset + i] = input[at + i];
        at += n;
    }
    return image;
}

void put_file(const std::string& path, std::span<const std::uint8_t> data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) std::abort();
}

bool file_is(const std::string& path, std::span<const std::uint8_t> expected) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    static std::vector<std::uint8_t> buf(65536);
    std::size_t at = 0;
    bool same = true;
    for (std::size_t n; same && (n = std::fread(buf.data(), 1, buf.size(), f)) > 0; at += n)
        same = at + n <= expected.size() && std::memcmp(buf.data(), expected.data() + at, n) == 0;
    std::fclose(f);
    return same && at == expected.size();
}

int run_tool(const std::vector<std::string>& args, const std::string& input) {
    return testkit::run_in_process(args, input);
}

}  // namespace fuzz
