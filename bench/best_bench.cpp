// The near-optimal packer (/best) on real firmware that no one here wrote,
// read where its Debian packages put it: per file and in total the exact
// stream's size, /best's, jlha's (jlha c0o5q), the percentage /best gains
// over each, and /best's MB/s; then the whole process, mozaik32 IMAGE /CALS
// FILE /best, on 1 MiB of code. Run as root, it installs missing packages.
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/member_header.hpp"
#include "archive/pack.hpp"
#include "common/file.hpp"
#include "testkit/corpus.hpp"
#include "testkit/run.hpp"

namespace fs = std::filesystem;

namespace {

struct Package {
    const char* name;
    const char* folder;
    std::vector<std::string> files;  // a name ending in '*' is a prefix
};

const std::vector<Package> kPackages = {
    {"seabios", "/usr/share/seabios", {"vgabios-*", "bios.bin", "bios-256k.bin", "acpi-dsdt.aml"}},
    {"qemu-system-data",
     "/usr/share/qemu",
     {"kvmvapic.bin", "linuxboot.bin", "linuxboot_dma.bin", "multiboot.bin", "multiboot_dma.bin", "pvh.bin",
      "sgabios.bin", "qboot.rom"}},
    {"ipxe-qemu", "/usr/lib/ipxe/qemu", {"pxe-*"}},
};

bool installed(const Package& p) {
    return fs::is_directory(p.folder);
}

void install_missing() {
    std::string missing;
    for (const Package& p : kPackages)
        if (!installed(p)) missing += std::string(" ") + p.name;
    if (!fs::exists("/usr/bin/jlha")) missing += " jlha-utils";
    if (missing.empty()) return;
    if (geteuid() != 0) {
        std::printf("missing packages (run as root to install them):%s\n", missing.c_str());
        return;
    }
    const std::string install = "apt-get install -y -q" + missing + " >/dev/null";
    if (std::system(install.c_str()) != 0 && std::system(("apt-get update -q >/dev/null && " + install).c_str()) != 0)
        std::printf("could not install:%s\n", missing.c_str());
}

// The package's files, symbolic links left out (the same file twice).
std::vector<fs::path> files_of(const Package& p) {
    std::vector<fs::path> out;
    for (const std::string& f : p.files) {
        if (f.back() != '*') {
            if (fs::is_regular_file(fs::path(p.folder) / f)) out.push_back(fs::path(p.folder) / f);
            continue;
        }
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(p.folder))
            if (!e.is_symlink() && e.path().filename().string().starts_with(f.substr(0, f.size() - 1)))
                found.push_back(e.path());
        std::sort(found.begin(), found.end());
        out.insert(out.end(), found.begin(), found.end());
    }
    return out;
}

std::uint32_t packed_of(const std::vector<std::uint8_t>& archive) {
    return packed_size(read_member_head(archive, 0));
}

// jlha's packed size of `file`, or 0 when jlha is missing or fails.
std::uint32_t jlha_size(const fs::path& file, const fs::path& work) {
    const fs::path archive = work / "peer.lzh";
    fs::remove(archive);
    if (!fs::exists("/usr/bin/jlha")) return 0;
    const auto r = testkit::run_program("/usr/bin/jlha", {"c0o5q", archive.string(), file.filename().string()}, {});
    if (r.status != 0 || !fs::exists(archive)) return 0;
    return packed_of(*read_input_file(archive.string()));
}

struct Totals {
    std::uint64_t exact = 0, best = 0, jlha = 0, original = 0;
    double seconds = 0;
};

double gain(std::uint64_t best, std::uint64_t other) {
    return other == 0 ? 0.0 : 100.0 * (1.0 - static_cast<double>(best) / static_cast<double>(other));
}

void print_row(const char* name, const Totals& t) {
    std::printf("%-28s %9llu %9llu %9llu %9llu %7.2f%% %7.2f%% %6.2f\n", name,
                static_cast<unsigned long long>(t.original), static_cast<unsigned long long>(t.exact),
                static_cast<unsigned long long>(t.best), static_cast<unsigned long long>(t.jlha), gain(t.best, t.exact),
                gain(t.best, t.jlha), t.seconds > 0 ? static_cast<double>(t.original) / 1e6 / t.seconds : 0.0);
}

// One file's row; it is added to `all`, and to `compressing` when the exact
// stream takes less than 90 % of the file.
void measure(const fs::path& file, const fs::path& work, Totals& all, Totals& compressing) {
    const std::vector<std::uint8_t> data = *read_input_file(file.string());
    fs::copy_file(file, work / file.filename(), fs::copy_options::overwrite_existing);
    Totals t;
    t.original = data.size();
    t.exact = packed_of(*pack_member(data, {.name = file.filename().string()}));
    const auto start = std::chrono::steady_clock::now();
    t.best = packed_of(*pack_member(data, {.name = file.filename().string(), .encoder = Encoder::Best}));
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.jlha = jlha_size(work / file.filename(), work);
    print_row(file.filename().string().c_str(), t);
    for (Totals* sum : {&all, &compressing}) {
        if (sum == &compressing && t.exact * 10 >= t.original * 9) continue;
        sum->original += t.original, sum->exact += t.exact, sum->best += t.best, sum->jlha += t.jlha;
        sum->seconds += t.seconds;
    }
}

// mozaik32 IMAGE /CALS FILE /best on 1 MiB of the test kit's code, timed whole.
void whole_process(const fs::path& build, const fs::path& work) {
    const std::string image = (work / "img.bin").string(), code = (work / "code_1M.bin").string();
    testkit::run_program((build / "mkimage").string(), {image, "--size", "1M"});
    const std::vector<std::uint8_t> data = testkit::corpus(testkit::CorpusKind::Code, 1 << 20, 42);
    if (!replace_file(code, data)) return;
    for (const char* encoder : {"", "/best"}) {
        std::vector<std::string> args = {image, "/CALS", code};
        if (*encoder) args.push_back(encoder);
        const auto start = std::chrono::steady_clock::now();
        const auto r = testkit::run_program((build / "mozaik32").string(), args);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("mozaik32 IMG /CALS code_1M.bin %-5s: %.2f s, %.2f MB/s (status %d)\n", encoder, s, 1.048576 / s,
                    r.status);
    }
}

}  // namespace

int main(int, char** argv) {
    const fs::path build = fs::absolute(fs::path(argv[0])).parent_path();
    install_missing();
    const fs::path work = fs::temp_directory_path() / ("best_bench." + std::to_string(getpid()));
    fs::create_directories(work);
    fs::current_path(work);
    std::printf("%-28s %9s %9s %9s %9s %8s %8s %6s\n", "file", "bytes", "exact", "/best", "jlha", "vs exact", "vs jlha",
                "MB/s");
    Totals all, compressing;
    for (const Package& p : kPackages) {
        if (!installed(p)) {
            std::printf("(%s is not installed: its files are left out)\n", p.name);
            continue;
        }
        for (const fs::path& f : files_of(p)) measure(f, work, all, compressing);
    }
    print_row("total", all);
    print_row("total, files that compress", compressing);
    whole_process(build, work);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work);
    return 0;
}
