// Temporary work folders and test-vector paths for tests.
#include "testkit/workdir.hpp"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "common/file.hpp"

namespace testkit {

WorkDir::WorkDir() {
    previous_ = std::filesystem::current_path().string();
    // A name no other folder has: create_directory fails on one that exists.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int tries = 0; path_.empty(); ++tries) {
        if (tries == 100) throw std::runtime_error("cannot create a temporary folder in " + base.string());
        const std::filesystem::path candidate = base / ("mozaik32-" + std::to_string(random() % 1000000000000u));
        if (std::filesystem::create_directory(candidate)) path_ = candidate.string();
    }
    std::filesystem::current_path(path_);
}

WorkDir::~WorkDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string testdata(const std::string& relative) {
    std::string path = std::string(MOZAIK_TESTDATA_DIR) + "/" + relative;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) throw std::runtime_error("missing test vector " + path);
    return path;
}

std::vector<std::uint8_t> slurp(const std::string& path) {
    auto data = read_file(path);
    if (!data) throw std::runtime_error("cannot read " + path);
    return *data;
}

void spit(const std::string& path, const std::vector<std::uint8_t>& data) {
    if (!write_file(path, data)) throw std::runtime_error("cannot write " + path);
}

void spit(const std::string& path, const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    spit(path, data);
}

}  // namespace testkit
