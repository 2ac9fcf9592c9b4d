// /unpack DIR: the image as a folder. Every component becomes a file of its
// expanded content (a logo also a viewable .bmp beside it, which /pack does
// not read); manifest.txt lists them in image order (folder/manifest.hpp);
// image.bin keeps the image as it was, the bytes outside the components and
// every member as stored, for /pack. DIR must not exist, hold only
// dot-entries (".git"), or be an earlier unpack, refreshed in place
// (folder/refresh.hpp). The image is not changed.
#pragma once

#include <string>

#include "image/group.hpp"

struct BiosImage;
struct ImageSurvey;

// The operation: the folder op.group.rom_file. Each file is made new in
// the folder held open (platform::create_in: never through a link, never
// over a file that appeared since the folder was found empty), each member
// expanded straight into its file, and the files and the folder flushed to
// the disk before success is said. A damaged image is salvaged
// (image/salvage.hpp): every member that reads back sound is written as
// usual; a damaged one (its header sum, its CRC, its expansion failing) as
// far as it expands, to NAME.damaged.EXT, or not at all when nothing of it
// can be read, and its line names that file, which /pack refuses until it
// is dealt with. Each damaged member and each stretch of the chain where no
// member could be read is said on the console channel and noted in the
// manifest; the result counts them in `damaged` (status 1 under /err).
GroupResult unpack_image(const Operand& op);

// Called, when set, once DIR has been found usable and opened, before any
// file is made in it: the tests plant links there.
extern void (*unpack_folder_checked)(const std::string& dir);

// The content file's name for a component of the manifest: the kind (and
// slot), and .rom for an option ROM or .bin.
std::string content_file_name(const std::string& kind, bool rom);
