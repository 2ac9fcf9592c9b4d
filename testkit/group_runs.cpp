// Images, components and properties of the group runs.
#include "testkit/group_runs.hpp"

#include "common/sha256.hpp"
#include "testkit/json_schema.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <new>
#include <stdexcept>

#include "common/console.hpp"
#include "common/fatal.hpp"
#include "driver/run.hpp"
#include "testkit/components.hpp"
#include "testkit/corpus.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/members.hpp"
#include "testkit/microcode_builder.hpp"
#include "testkit/workdir.hpp"

namespace testkit {

namespace {

using Bytes = std::vector<std::uint8_t>;

RomFields vga_fields(std::uint8_t build, std::uint16_t device = 0x0040) {
    return {.size = 0x2000, .vendor = 0x10DE, .device = device, .build = build};
}

RomFields pci_fields(std::uint8_t build) {
    return {.size = 0x1000, .vendor = 0x8086, .device = 0x100E, .base_class = 2, .build = build};
}

Bytes microcode() {
    return concat({intel_microcode({.revision = 0x21, .signature = 0x0F29, .flags = 0x10}),
                   intel_microcode({.revision = 0x08, .signature = 0x0686, .flags = 0x01})});
}

struct Layout {
    std::string name;
    std::uint32_t size;
    bool banked = false;
    bool checksum_at_end = false;
    bool top_block = false;
    std::uint32_t filler = 0;  // an incompressible member of this many bytes, to fill the area
};

// The layout of mkimage: the record at S - 0x2000 (area end S - 0x5000,
// checksum block S - 0x3000 or the area's last 4 KB), or the banked form
// (area end 0xEC000, a "*BT-VGA*" slot); "*BS1" at S - 0x4800 pointing at
// the area's end or the top block.
RunImage build(const Layout& l) {
    SyntheticImage img(l.size);
    img.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000, 0x42));
    const std::uint32_t area_end = l.banked ? 0xEC000 : l.size - 0x5000;
    std::vector<MemberFields> members = {
        packed_member(0x4080, 0, "VGA.ROM", option_rom(vga_fields(7))),
        packed_member(0x4086, 0, "PCI.ROM", option_rom(pci_fields(7))),
        packed_member(0x4008, 0, "FONT0.BIN", corpus(CorpusKind::Runs, 0x800, 3)),
        packed_member(0x4013, 0, "OEM1.BIN", corpus(CorpusKind::Text, 0xA00, 4)),
        packed_member(0x4001, 0, "CPUCODE.BIN", microcode()),
    };
    if (l.filler != 0) members.push_back(stored_member(0x4015, 0, "OEM3.BIN", l.filler, 9));
    std::uint32_t end = img.put_chain(0x10000, members);
    if (end > area_end - 0x2000) throw std::logic_error("run image members do not fit");
    std::uint32_t pointer = area_end;
    if (l.top_block) pointer = img.put_ncpu_block(area_end, microcode());
    img.put_bs1(l.size - 0x4800, img.physical(pointer));
    std::uint32_t checksum_block = l.size - 0x3000;
    if (!l.banked) {
        checksum_block = l.checksum_at_end ? area_end - 0x1000 : l.size - 0x3000;
        const std::uint16_t w8 = static_cast<std::uint16_t>(checksum_block - (l.size - 0x10000));
        img.put_bbss({.window = 1, .offset = 0xE000, .w8 = w8, .w12 = 0xB000, .w18 = 0xF000});
    } else {
        img.put_bbss({.window = 0,
                      .offset = 0xD000,
                      .w6 = 0xF00E,
                      .w8 = 0xD001,
                      .w12 = 0xC000,
                      .w18 = 0xF000,
                      .bank_length = 0x800});
        img.put_slot_record(0xE80, "*BT-VGA*", 0xC000, 0xD000);
        checksum_block = 0xEF000;
    }
    balance_image(img.bytes, 0, checksum_block, img.top_base() + 0x1E054);
    return {l.name, std::move(img.bytes), area_end};
}

// The TypeId segments a group's switch names: the ones its add or release may change.
std::vector<std::uint16_t> named_segments(const std::string& sw) {
    auto range = [](std::uint16_t first, std::uint16_t last) {
        std::vector<std::uint16_t> v;
        for (std::uint32_t s = first; s <= last; ++s) v.push_back(static_cast<std::uint16_t>(s));
        return v;
    };
    if (sw == "/vga") return range(0x4080, 0x4085);
    if (sw == "/pci") return range(0x4086, 0x409F);
    const std::pair<const char*, std::uint16_t> single[] = {
        {"/fnt0", 0x4008},       {"/oem1", 0x4013}, {"/oem2", 0x4014},      {"/cpucode", 0x4001},
        {"/NoCompress", 0x4045}, {"/mib", 0x400F},  {"/NC_CPUCODE", 0x4056}};
    for (const auto& [name, segment] : single)
        if (sw == name) return {segment};
    return {};
}

struct Member {
    std::uint16_t segment;
    Bytes bytes;  // H + P + 3
};

// The chain from 0x10000 up to erased space or bytes that are no member.
std::vector<Member> chain_of(const Bytes& img, std::uint32_t area_end) {
    std::vector<Member> out;
    for (std::uint32_t at = 0x10000; at + 27 < area_end && img[at + 2] == '-' && img[at + 3] == 'l';) {
        const std::uint64_t span =
            std::uint64_t{img[at]} + 3 +
            (img[at + 7] | img[at + 8] << 8 | img[at + 9] << 16 | std::uint64_t{img[at + 10]} << 24);
        if (at + span > area_end) break;
        out.push_back({static_cast<std::uint16_t>(img[at + 17] | img[at + 18] << 8),
                       Bytes(img.begin() + at, img.begin() + static_cast<std::ptrdiff_t>(at + span))});
        at += static_cast<std::uint32_t>(span);
    }
    return out;
}

// Reads the file `path` into `out`, whose storage is reused when the size is
// the same: the runs check an image of the same size many times a second.
void slurp_into(const std::string& path, Bytes& out) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    out.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    const bool ok = size >= 0 && in.seekg(0) &&
                    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size())) &&
                    in.peek() == std::ifstream::traits_type::eof();
    if (!ok) throw std::runtime_error("cannot read " + path);
}

// The top block with its trailer, from its start to area_end; empty when none.
Bytes top_block_of(const Bytes& img, std::uint32_t area_end) {
    const std::string name(img.begin() + area_end - 16, img.begin() + area_end - 4);
    if (name != "NCPUCODE.BIN") return {};
    const std::uint32_t length = img[area_end - 24] | img[area_end - 23] << 8 | img[area_end - 22] << 16 |
                                 static_cast<std::uint32_t>(img[area_end - 21]) << 24;
    if (length > area_end - 32) return {};
    // The last three trailer bytes may hold the area's check bytes: not compared.
    return Bytes(img.begin() + area_end - 32 - length, img.begin() + area_end - 3);
}

}  // namespace

const std::vector<RunImage>& run_images() {
    static const std::vector<RunImage> images = [] {
        std::vector<RunImage> v;
        for (const Layout& l : {Layout{"256K", 256 * KB}, Layout{"256K top block", 256 * KB, false, false, true},
                                Layout{"512K checksum block at the area's end", 512 * KB, false, true},
                                Layout{"1M banked, top block", 1024 * KB, true, false, true},
                                Layout{"128K nearly full, top block", 128 * KB, false, false, true, 0x4400}})
            v.push_back(build(l));
        return v;
    }();
    return images;
}

const std::vector<RunImage>& small_run_images() {
    static const std::vector<RunImage> images = [] {
        std::vector<RunImage> v;
        for (const Layout& l : {Layout{"128K", 128 * KB}, Layout{"128K top block", 128 * KB, false, false, true},
                                Layout{"128K checksum block at the area's end", 128 * KB, false, true},
                                Layout{"128K nearly full, top block", 128 * KB, false, false, true, 0x4400}})
            v.push_back(build(l));
        v.push_back(run_images()[3]);  // the banked layout needs a large image
        return v;
    }();
    return images;
}

void write_full_image() {
    for (const RunImage& image : run_images())
        if (image.bytes.size() == 1u << 20) spit("img.bin", image.bytes);
    for (int group = 0; group <= 26; ++group) {
        const std::string name = "part" + std::to_string(group) + ".bin";
        spit(name, corpus(CorpusKind::Code, 24 << 10, static_cast<std::uint32_t>(group)));
        run_in_process({"img.bin", "/group" + std::to_string(group), name});
    }
}

void write_run_parts() {
    const std::pair<const char*, Bytes> parts[] = {
        {"vga.rom", option_rom(vga_fields(1))},
        {"vga_new.rom", option_rom(vga_fields(2))},
        {"vga2.rom", option_rom(vga_fields(1, 0x0041))},
        {"pci.rom", option_rom(pci_fields(1))},
        {"font.bin", corpus(CorpusKind::Runs, 0x1000, 5)},
        {"oem.bin", corpus(CorpusKind::Text, 3000, 6)},
        {"table.bin", corpus(CorpusKind::Code, 0x300, 7)},
        {"notes.txt", corpus(CorpusKind::Text, 900, 8)},
        {"big.bin", corpus(CorpusKind::Random, 0x9000, 9)},
        {"ucode.exe", dos_executable(microcode())},
        {"module.bin", Bytes(0x100, 0x5A)},
    };
    for (const auto& [name, bytes] : parts) spit(name, bytes);
}

GroupRun make_run(const std::function<std::uint32_t()>& pick) {
    static const std::vector<std::vector<std::string>> groups = {
        {"/fnt0", "font.bin"},
        {"/fnt0", "release"},
        {"/fnt0", "extract"},
        {"/oem1", "oem.bin"},
        {"/oem1", "release"},
        {"/oem1", "extract"},
        {"/vga", "vga.rom"},
        {"/vga", "vga_new.rom"},
        {"/vga", "vga2.rom"},
        {"/vga", "release"},
        {"/pci", "pci.rom"},
        {"/pci", "release"},
        {"/cpucode", "release"},
        {"/NoCompress", "table.bin"},
        {"/NoCompress", "release"},
        {"/mib", "notes.txt"},
        {"/oem2", "big.bin"},
        {"/oem2", "release"},
        {"/NC_CPUCODE", "ucode.exe"},
        {"/NC_CPUCODE", "release"},
        {"/btvga", "vga.rom"},
        {"/NVMM", "module.bin"},
        {"/D"},
        {"/vga", "release", "slot=2"},
        {"/pci", "extract", "slot=A", "to=pci.out"},
        {"/fnt0", "extract", "to=font.out"},
    };
    GroupRun run;
    const std::uint32_t count = 2 + pick() % 5;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::vector<std::string>* g = &groups[pick() % groups.size()];
        if (i == 0 && (*g)[0] == "/D") g = &groups[0];  // /D as the first option must stand last
        run.args.insert(run.args.end(), g->begin(), g->end());
        run.input += "1\nout" + std::to_string(i) + ".bin\n";  // an instance and a file name
    }
    if (pick() % 2) run.args.push_back("/err");
    return run;
}

int run_in_process(const std::vector<std::string>& args, const std::string& input, std::string* out) {
    std::vector<std::string> all = {"mozaik32"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    console::Capture capture(input);
    int status = 1;
    try {
        status = run(static_cast<int>(all.size()), argv.data());
    } catch (const FatalError&) {
    } catch (const std::bad_alloc&) {
    }
    if (out) *out = capture.out();
    return status;
}

std::string describe(const RunImage& image, const GroupRun& run) {
    std::string text = "[" + image.name + "] img.bin";
    for (const std::string& a : run.args) text += " " + a;
    return text;
}

std::string check_run(const RunImage& image, const GroupRun& run) {
    spit("img.bin", image.bytes);
    std::vector<std::string> args = {"img.bin"};
    args.insert(args.end(), run.args.begin(), run.args.end());
    std::vector<std::string> dry = args;
    dry.insert(dry.end(), {"/dry", "/json"});
    std::string report;
    const int dry_status = run_in_process(dry, run.input, &report);
    static Bytes after;  // the image as each run left it, in storage reused from call to call
    slurp_into("img.bin", after);
    if (after != image.bytes) return "a dry run changed the image";
    const int status = run_in_process(args, run.input);
    slurp_into("img.bin", after);
    // A fatal error ends a dry run, as the run itself, with status 1 and no report.
    if (dry_status != status) return "the dry run foretold another exit status";
    // An image the run left as it was must be the one the report names
    // before the run: no digest of it is needed to check that.
    const bool foretold = report.empty()         ? status == 1
                          : after == image.bytes ? json_field(report, "sha256_after") == json_field(report, "sha256")
                                                 : json_field(report, "sha256_after") == sha256_hex(after);
    if (!foretold) return "the dry run foretold another image";
    if (after.size() != image.bytes.size()) return "the image changed its size";
    const bool err = std::find(run.args.begin(), run.args.end(), "/err") != run.args.end();
    if (err && status == 1 && after != image.bytes) return "a run that failed under /err changed the image";

    std::vector<std::uint16_t> named;
    bool places_top_block = false;
    for (const std::string& a : run.args) {
        const auto s = named_segments(a);
        named.insert(named.end(), s.begin(), s.end());
        places_top_block = places_top_block || a == "/NC_CPUCODE";
    }
    const Bytes top = top_block_of(image.bytes, image.area_end);
    if (!places_top_block && top_block_of(after, image.area_end) != top) return "the top block changed";
    const std::vector<Member> now = chain_of(after, image.area_end);
    for (const Member& m : chain_of(image.bytes, image.area_end)) {
        if (std::find(named.begin(), named.end(), m.segment) != named.end()) continue;
        const bool kept = std::any_of(now.begin(), now.end(), [&](const Member& n) { return n.bytes == m.bytes; });
        if (!kept) {
            char text[96];
            std::snprintf(text, sizeof text, "the member of %04Xh, which no group names, lost its bytes", m.segment);
            return text;
        }
    }
    if (status == 0 && run_in_process({"img.bin", "/verify"}) != 0) return "status 0, but /verify finds a problem";
    return {};
}

}  // namespace testkit
