// The JSON report through the real binary: every image of the test kit gives
// a document the schema accepts (checked by an independent validator), and
// its members and space figures agree with the /D listing of the same image.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "common/sha256.hpp"
#include "testkit/group_runs.hpp"
#include "testkit/json_schema.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/listing_showcase.hpp"
#include "testkit/members.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Image {
    std::string name;
    Bytes bytes;
};

// The test kit's images: mkimage's layouts, the runs' base images, the
// listing showcase, a damaged member, and files that are no BIOS images.
std::vector<Image> kit_images() {
    std::vector<Image> images;
    const std::vector<std::vector<std::string>> layouts = {
        {"--size", "128K"},    {"--size", "256K"},   {"--size", "512K"}, {"--size", "1M", "--banked"},
        {"--checksum-at-end"}, {"--chain", "empty"}, {"--showcase"}};
    for (const auto& options : layouts) {
        std::vector<std::string> args = {"made.bin"};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(testkit::run_program(MKIMAGE_BINARY, args).status, 0);
        images.push_back({"mkimage " + options[0] + " " + options.back(), testkit::slurp("made.bin")});
    }
    for (const testkit::RunImage& r : testkit::run_images()) images.push_back({r.name, r.bytes});
    Bytes damaged = testkit::run_images().front().bytes;
    damaged[0x10001] ^= 0x55;  // the first chain member's header sum
    images.push_back({"a member with a wrong header sum", damaged});
    images.push_back({"a text file", Bytes{'n', 'o', 't', '\n'}});
    images.push_back({"an erased dump", Bytes(0x20000, 0xFF)});
    return images;
}

// The /D rows of the chain: name and original size, and the three space figures.
struct ListedRow {
    std::string name;
    std::uint32_t original = 0;
};

std::vector<ListedRow> chain_rows(const std::string& listing) {
    std::vector<ListedRow> rows;
    // A numbered row past 0; the original size is its first size, the stored name stands in column 56.
    const std::regex row(R"(^ +[1-9][0-9]*\. .*?([0-9A-F]+)h\(.*)");
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, row) && line.size() > 56)
            rows.push_back({line.substr(56), static_cast<std::uint32_t>(std::stoul(m[1], nullptr, 16))});
    }
    return rows;
}

std::uint32_t listed_figure(const std::string& listing, const std::string& label) {
    const std::size_t at = listing.find("= ", listing.find(label));
    return at == std::string::npos ? 0 : static_cast<std::uint32_t>(std::stoul(listing.substr(at + 2), nullptr, 16));
}

TEST(JsonReport, EveryKitImageIsValidAndAgreesWithTheListing) {
    testkit::WorkDir dir;
    std::vector<std::string> documents;
    int pci_checked = 0;
    for (const Image& image : kit_images()) {
        SCOPED_TRACE(image.name);
        testkit::spit("img.bin", image.bytes);
        const testkit::RunResult r = testkit::run_tool({"img.bin", "/json"});
        EXPECT_TRUE(r.out.starts_with('{')) << "only the document on standard output";
        EXPECT_EQ(r.status, testkit::json_field(r.out, "code", r.out.find("\"problems\"")).empty() ? 0 : 1);
        EXPECT_TRUE(testkit::slurp("img.bin") == image.bytes);
        documents.push_back(r.out);
        // The system BIOS named as the listing names it.
        if (const std::size_t bios = r.out.find("\"place\": \"system_bios\""); bios != std::string::npos) {
            EXPECT_EQ(testkit::json_field(r.out, "listing_name", bios), "System BIOS");
        }
        if (!testkit::json_field(r.out, "space").starts_with("null")) {
            const std::string listing = testkit::run_tool({"img.bin", "/D"}).out;
            EXPECT_EQ(std::stoul(testkit::json_field(r.out, "total")),
                      listed_figure(listing, "Total compress code space"));
            EXPECT_EQ(std::stoul(testkit::json_field(r.out, "used")),
                      listed_figure(listing, "Total compressed code size"));
            // The chain's members in order, as the listing's numbered rows.
            std::size_t at = 0;
            for (const ListedRow& row : chain_rows(listing)) {
                at = r.out.find("\"place\": \"chain\"", at + 1);
                ASSERT_NE(at, std::string::npos) << row.name << " is missing";
                EXPECT_EQ(testkit::json_field(r.out, "stored_name", at), row.name);
                EXPECT_EQ(std::stoul(testkit::json_field(r.out, "original_size", at)), row.original) << row.name;
            }
            EXPECT_EQ(r.out.find("\"place\": \"chain\"", at + 1), std::string::npos) << "a member the listing lacks";
        }
        // A VGA ROM's content digest and PCI identity are those of the ROM its extract writes.
        const std::size_t vga = r.out.find("\"switch\": \"/vga\"");
        if (vga != std::string::npos &&
            testkit::run_tool({"img.bin", "/vga", "extract", "slot=1", "to=vga.out"}).status == 0) {
            const Bytes rom = testkit::slurp("vga.out");
            EXPECT_EQ(testkit::json_field(r.out, "sha256", vga), sha256_hex(rom));
            ASSERT_GT(rom.size(), 0x1Au);
            // The word at 18h points at the "PCIR" structure: vendor at +4, device at +6.
            const std::size_t pcir = rom[0x18] | rom[0x19] << 8;
            if (rom.size() > pcir + 16 && std::string(rom.begin() + pcir, rom.begin() + pcir + 4) == "PCIR") {
                EXPECT_EQ(std::stoul(testkit::json_field(r.out, "vendor", vga)), rom[pcir + 4] | rom[pcir + 5] << 8);
                EXPECT_EQ(std::stoul(testkit::json_field(r.out, "device", vga)), rom[pcir + 6] | rom[pcir + 7] << 8);
                ++pci_checked;
            } else {
                EXPECT_TRUE(testkit::json_field(r.out, "pci", vga).starts_with("null"));
            }
            std::filesystem::remove("vga.out");
        }
    }
    EXPECT_GT(pci_checked, 0) << "no VGA ROM with a PCI data structure in the kit";
    // A document the schema must refuse, so that the check can fail.
    documents.push_back(R"({"document": "image_report", "members": "none"})");
    MOZAIK_LINUX_ONLY("Python's jsonschema");
    const std::optional<std::string> errors = testkit::schema_errors(documents);
    MOZAIK_NEEDS(errors, "/usr/bin/python3 with jsonschema missing (make deps installs python3-jsonschema)");
    const std::string refused = "document" + std::to_string(documents.size() - 1) + ".json";
    // Errors of the refused document only.
    EXPECT_TRUE(errors->starts_with(refused)) << *errors;
    for (std::size_t at = errors->find('\n'); at + 1 < errors->size(); at = errors->find('\n', at + 1))
        EXPECT_EQ(errors->compare(at + 1, refused.size(), refused), 0) << *errors;
}

}  // namespace
