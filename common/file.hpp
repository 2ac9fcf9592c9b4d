// RAII file handles and whole-file helpers. Every file the tool opens goes
// through File, so no handle outlives its scope.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/platform.hpp"

class File {
public:
    File() = default;
    // Opens `path` with an fopen mode ("rb", "wb", "r+b"); check with is_open().
    File(const std::string& path, const char* mode);
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool is_open() const { return fp_ != nullptr; }
    std::FILE* get() const { return fp_; }
    void close();

    [[nodiscard]] bool seek(std::int64_t offset);

    // Reads up to buf.size() bytes at the current position; returns how many.
    std::size_t read(std::span<std::uint8_t> buf);
    // Writes all of `data`; false when the file took less.
    [[nodiscard]] bool write(std::span<const std::uint8_t> data);
    [[nodiscard]] bool write_at(std::int64_t offset, std::span<const std::uint8_t> data);
    [[nodiscard]] bool flush();

private:
    std::FILE* fp_ = nullptr;
};

// The content of a file, its first `limit` bytes at most (all of it by
// default), or nothing when it cannot be read.
std::optional<std::vector<std::uint8_t>> read_file(const std::string& path, std::size_t limit = SIZE_MAX);

// The largest file the tool takes as an input: far more than any component
// of a 1 MB image, and a bound on what is held in memory.
inline constexpr std::size_t kMaxInputFile = 64u << 20;

// The whole content of a file given as input: nothing when it is not a
// regular file (a folder, a device, a pipe), cannot be read, or is larger
// than `limit` (also when it grows past it while being read).
std::optional<std::vector<std::uint8_t>> read_input_file(const std::string& path, std::size_t limit = kMaxInputFile);

// Whether a write waits until the data is on the disk.
enum class Flush { No, ToDisk };

// Writes `data` as the whole file; false on failure.
[[nodiscard]] bool write_file(const std::string& path, std::span<const std::uint8_t> data, Flush flush = Flush::No);

// What replace_file does with what stands under the name: Follow a
// symbolic link (the file it names is replaced, the link kept; a device, a
// pipe or a folder there is refused), or Replace the name itself, whatever
// file stands there (a link is replaced, the file it named kept).
enum class AtName { Follow, Replace };

// Writes `data` as the whole file `path` through a new temporary file
// beside it and a rename, so that no reader ever sees half a file. The
// temporary file's name cannot be guessed and it is created only where
// nothing stands (see platform::create_new): a link planted beside the
// target is never written through. False on failure; the temporary file
// is then removed and `path` is as it was.
[[nodiscard]] bool replace_file(const std::string& path, std::span<const std::uint8_t> data,
                                AtName at_name = AtName::Follow, Flush flush = Flush::No);

// The same piece by piece, for what is too large to hold: begin_replace
// makes the temporary file (nothing when replace_file would fail at once),
// write_piece adds to it, commit_replace renames it into place. The
// temporary file is removed when the replacement goes out of scope
// uncommitted, so a failure part of the way leaves `path` as it was.
struct FileReplacement {
    std::filesystem::path path, temporary;
    platform::FileHandle out;
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();
};
std::unique_ptr<FileReplacement> begin_replace(const std::string& path, AtName at_name = AtName::Follow);
[[nodiscard]] bool write_piece(FileReplacement& r, std::span<const std::uint8_t> piece);
[[nodiscard]] bool commit_replace(FileReplacement& r, Flush flush = Flush::No);

// Whether replace_file could write `path` as far as can be told without
// writing: its links lead somewhere (when followed), the folder it ends in
// exists and takes new files, and what stands there is a regular file or
// nothing (or, with Replace, a link).
bool can_replace(const std::string& path, AtName at_name = AtName::Follow);

// The file a chain of symbolic links ends at, joined as the links say
// (the path itself when it is no link); nothing for a loop or a chain too
// long to follow.
std::optional<std::string> resolve_links(const std::string& path);

bool file_exists(const std::string& path);

// Whether `path`, its links followed, names a regular file or nothing at
// all (false for a folder, a device, a pipe, or a link that loops).
bool is_file_or_nothing(const std::string& path);
