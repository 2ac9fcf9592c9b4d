// Test helpers for files: a fresh temporary folder that a test works in,
// and paths of the test vectors kept in the repository's testdata/ folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

// Creates a fresh folder under the system's temporary folder and makes it the
// current directory (the tool writes its work files there); on destruction
// goes back and removes the folder with everything in it.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Path of a file under the repository's testdata/ folder. Throws, naming the
// file, when it is not there, so that a missing vector fails the test that
// wanted it instead of reading as an empty list.
std::string testdata(const std::string& relative);

// Whole-file helpers that fail the calling test loudly through an exception.
std::vector<std::uint8_t> slurp(const std::string& path);
void spit(const std::string& path, const std::vector<std::uint8_t>& data);
void spit(const std::string& path, const std::string& text);

}  // namespace testkit
