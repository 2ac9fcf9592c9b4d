// The manifest of an unpacked image (/unpack, /pack): a text file for
// people and version control, one line per component in image order.
//
//   # comment lines start with '#'
//   image image.bin SIZE SHA256
//   PLACE FILE SWITCH TYPE_ID METHOD AT ORIGINAL PACKED SHA256 "STORED NAME"
//
// The "image" line names the image as /unpack found it: the bytes outside
// the components, and each member as stored, so that an unchanged member
// goes back byte for byte. PLACE is bios, chain, top (the uncompressed
// microcode block), boot_vga (the boot block's VGA slot) or memory (the
// memory-module slot), the words image/components gives; FILE the content file, relative to the folder;
// SWITCH the switch that adds such a member, or "-"; TYPE_ID as SSSS:OOOO
// ("-" for the blocks that are no members); METHOD "-lh5-", "-lh0-" or
// "raw"; AT the hexadecimal offset where it stood, "-" for a line added by
// hand; ORIGINAL and PACKED the sizes in bytes ("-" where none); SHA256 of
// the content ("-" on an added line). The stored name is quoted; \" \\ and
// \xNN stand for a quote, a backslash and any other byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "image/components.hpp"

inline constexpr const char* kManifestName = "manifest.txt";
inline constexpr const char* kImageCopyName = "image.bin";

struct ManifestLine {
    int number = 0;  // in the file, from 1
    Place place = Place::Chain;
    std::string file, switch_text, type_id, method;
    std::optional<std::uint32_t> at;
    std::optional<std::uint32_t> original, packed;
    std::string sha256;  // empty on an added line
    std::string name;
};

struct Manifest {
    std::string image_file;
    std::uint32_t image_size = 0;
    std::string image_sha256;
    int image_line = 0;  // the image line's number
    std::vector<ManifestLine> lines;
};

// The text of a manifest; `title` is the first comment line.
std::string manifest_text(const Manifest& manifest, const std::string& title);

// The manifest in `text`, or what is wrong: "manifest line %d: ...".
std::variant<Manifest, std::string> parse_manifest(const std::string& text);

// What makes a well-formed manifest one no image can be packed from: two
// chain lines for one TypeId (an identical line said as such), as
// "manifest line %d: ..."; nothing when there is none. (A second image,
// bios or other block line is refused by parse_manifest.)
std::optional<std::string> manifest_conflict(const Manifest& manifest);

// A fault of line `l`: "manifest line %d: `what`".
std::string line_fault(const ManifestLine& l, const std::string& what);
