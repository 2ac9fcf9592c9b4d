// Shared pieces of the fuzz targets: a memory-backed work folder, images
// made from a small input by patching a synthetic base image, and a run of
// the tool in the same process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fuzz {

// Makes a fresh folder under /dev/shm (memory-backed) the current one and
// the temporary folder, once per process, so that the image and every work
// file stay in memory; it is removed when the process exits.
void enter_memory_folder();

// An image from the input: byte 0 picks the base image and its cut, then
// patches follow, each 3 bytes of offset (big-endian, modulo the image
// size), 1 byte of length and that many bytes. The rest of the input after
// `reserved` bytes at its start is used.
// The image stays valid until the next call.
const std::vector<std::uint8_t>& patched_image(std::span<const std::uint8_t> input);

// Writes `data` as the file `path`; aborts when it cannot.
void put_file(const std::string& path, std::span<const std::uint8_t> data);
// The file `path` holds exactly `expected`.
bool file_is(const std::string& path, std::span<const std::uint8_t> expected);

// Runs the tool with `args` (the program name first is added), both
// channels captured and `input` as standard input; the exit status, with a
// fatal error giving 1 as main does.
int run_tool(const std::vector<std::string>& args, const std::string& input = {});

}  // namespace fuzz
