// Interoperability with independent LZH tools: archives we write are listed,
// checked and extracted by bsdtar, 7z and lhasa, those of the exact and of
// the near-optimal encoder; members written by an independent LH5
// compressor (jlha) are expanded by our extraction, and jlha extracts ours.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "archive/extract.hpp"
#include "archive/pack.hpp"
#include "common/file.hpp"
#include "testkit/corpus.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

constexpr const char* kBsdtar = "/usr/bin/bsdtar";
constexpr const char* k7z = "/usr/bin/7z";
constexpr const char* kLhasa = "/usr/bin/lhasa";
constexpr const char* kJlha = "/usr/bin/jlha";

bool have_tools(std::initializer_list<const char*> tools) {
    for (const char* t : tools)
        if (!file_exists(t)) return false;
    return true;
}

struct Sample {
    std::string name;
    std::vector<std::uint8_t> data;
};

std::vector<Sample> samples() {
    std::vector<Sample> list;
    const std::size_t sizes[] = {0, 1, 2, 3, 8191, 8192, 8193, 8447, 8448, 8449, 16383, 16384, 16385, 100000};
    for (testkit::CorpusKind kind : testkit::kAllCorpusKinds)
        for (std::size_t size : sizes)
            list.push_back({std::string(testkit::corpus_name(kind)) + "_" + std::to_string(size) + ".bin",
                            testkit::corpus(kind, size, size + 1)});
    for (testkit::CorpusKind kind : {testkit::CorpusKind::Code, testkit::CorpusKind::Text, testkit::CorpusKind::Random})
        list.push_back({std::string(testkit::corpus_name(kind)) + "_1M.bin", testkit::corpus(kind, 1 << 20, 7)});
    return list;
}

std::string as_text(const std::vector<std::uint8_t>& data) {
    return std::string(data.begin(), data.end());
}

TEST(Interop, OurArchivesAreReadByIndependentTools) {
    MOZAIK_LINUX_ONLY("bsdtar, 7z and lhasa");
    MOZAIK_NEEDS(have_tools({kBsdtar, k7z, kLhasa}), "bsdtar, 7z or lhasa missing (make deps installs them)");
    testkit::WorkDir dir;
    int compressed = 0;
    const auto cases = [] {
        std::vector<std::pair<Encoder, Sample>> list;
        for (const Encoder encoder : {Encoder::Exact, Encoder::Best})
            for (Sample& s : samples()) list.emplace_back(encoder, std::move(s));
        return list;
    }();
    for (const auto& [encoder, s] : cases) {
        SCOPED_TRACE(s.name + (encoder == Encoder::Best ? " /best" : ""));
        const std::optional<std::vector<std::uint8_t>> packed =
            pack_member(s.data, {.name = s.name, .encoder = encoder});
        ASSERT_TRUE(packed);
        const std::vector<std::uint8_t>& archive = *packed;
        testkit::spit("bios.rom", archive);
        if (std::string(archive.begin() + 2, archive.begin() + 7) == "-lh5-") ++compressed;

        const auto list = testkit::run_program(kBsdtar, {"-tf", "bios.rom"});
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_EQ(list.out, s.name + "\n");
        const auto extracted = testkit::run_program(kBsdtar, {"-xOf", "bios.rom"});
        EXPECT_EQ(extracted.status, 0) << extracted.err;
        EXPECT_TRUE(extracted.out == as_text(s.data));
        const auto tested = testkit::run_program(k7z, {"t", "bios.rom"});
        EXPECT_EQ(tested.status, 0) << tested.out;
        EXPECT_NE(tested.out.find("Everything is Ok"), std::string::npos);
        const auto lhasa = testkit::run_program(kLhasa, {"t", "bios.rom"});
        EXPECT_EQ(lhasa.status, 0);
        EXPECT_NE(lhasa.out.find(s.name), std::string::npos) << lhasa.out;

        // Our own expansion gives the bytes back too.
        EXPECT_TRUE(expand_member(archive).data == s.data);
    }
    EXPECT_GT(compressed, 80);  // most samples are real "-lh5-" members
}

TEST(Interop, IndependentToolsRejectDamagedArchives) {
    // The judges above are real: a wrong header sum or data CRC fails them.
    MOZAIK_LINUX_ONLY("bsdtar and 7z");
    MOZAIK_NEEDS(have_tools({kBsdtar, k7z}), "bsdtar or 7z missing (make deps installs them)");
    testkit::WorkDir dir;
    const auto good = pack_member(testkit::corpus(testkit::CorpusKind::Text, 20000), {.name = "t.txt"}).value();
    auto bad_sum = good;
    bad_sum[1] ^= 1;
    auto bad_crc = good;
    bad_crc[22 + 5] ^= 1;  // data_crc
    for (const auto& damaged : {bad_sum, bad_crc}) {
        testkit::spit("bad.lzh", damaged);
        EXPECT_NE(testkit::run_program(kBsdtar, {"-xOf", "bad.lzh"}).status, 0);
        EXPECT_NE(testkit::run_program(k7z, {"t", "bad.lzh"}).status, 0);
    }
}

TEST(Interop, IndependentCompressorMembersExpand) {
    MOZAIK_LINUX_ONLY("jlha");
    MOZAIK_NEEDS(have_tools({kJlha}), "jlha missing (make deps installs jlha-utils)");
    testkit::WorkDir dir;
    int lh5_members = 0;
    for (const Sample& s : samples()) {
        // A handful across kinds and boundaries: jlha starts slowly.
        static const std::set<std::string> chosen = {"zeros_8448.bin",  "runs_16385.bin", "text_8193.bin",
                                                     "text_100000.bin", "code_16384.bin", "code_1M.bin",
                                                     "random_8449.bin", "text_3.bin"};
        if (!chosen.count(s.name)) continue;
        SCOPED_TRACE(s.name);
        testkit::spit(s.name, s.data);
        std::filesystem::remove("peer.lzh");
        const auto r = testkit::run_program(kJlha, {"c0o5q", "peer.lzh", s.name});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const auto archive = testkit::slurp("peer.lzh");
        if (std::string(archive.begin() + 2, archive.begin() + 7) == "-lh5-") ++lh5_members;
        EXPECT_TRUE(expand_member(archive).data == s.data);

        // And jlha extracts the near-optimal members to the same bytes.
        testkit::spit("ours.lzh", pack_member(s.data, {.name = s.name, .encoder = Encoder::Best}).value());
        std::filesystem::remove(s.name);
        const auto x = testkit::run_program(kJlha, {"xq", "ours.lzh"});
        EXPECT_EQ(x.status, 0) << x.out << x.err;
        EXPECT_TRUE(testkit::slurp(s.name) == s.data);
    }
    EXPECT_GE(lh5_members, 5);
}

}  // namespace
