// /unpack DIR: the image as a folder. Every component becomes a file of its
// expanded content (a logo also a viewable .bmp beside it, which /pack does
// not read); manifest.txt lists them in image order (driver/manifest.hpp);
// image.bin keeps the image as it was, the bytes outside the components and
// every member as stored, for /pack. DIR must not exist or be empty. The
// image is not changed.
#pragma once

#include <string>

#include "image/group.hpp"

struct BiosImage;
struct ImageSurvey;

// The operation: the folder op.group.rom_file.
GroupResult unpack_image(const Operand& op);

// The content file's name for a component of the manifest: the line's
// index, the kind, and .rom for an option ROM or .bin.
std::string content_file_name(std::size_t index, const std::string& kind, bool rom);
