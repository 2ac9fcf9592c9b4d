// The manifest of an unpacked image (/unpack, /pack): a text file for
// people and version control, one line per component in image order.
//
//   # comment lines start with '#'
//   image image.bin SIZE SHA256
//   PLACE FILE SWITCH TYPE_ID METHOD SHA256 "STORED NAME"
//
// The "image" line names the image as /unpack found it: the bytes outside
// the components, and each member as stored, so that an unchanged member
// goes back byte for byte. It is the one line that changes whenever any
// member does: a member's line holds only what identifies it, so it stays
// the same while its member does. PLACE is one of the words
// image/components gives; FILE the content file, relative to the folder;
// SWITCH the switch that adds such a member, or "-"; TYPE_ID as SSSS:OOOO
// ("-" for the blocks that are no members); METHOD "-lh5-", "-lh0-" or
// "raw"; SHA256 that of the content ("-": new content, packed anew). The
// stored name is quoted; \" \\ and \xNN stand for a quote, a backslash and
// any other byte.
//
// A chain line may stop after SWITCH, TYPE_ID or METHOD, and leave out the
// stored name (`chain vga.rom /vga`); what is left out or "-" is derived
// from the switch's kind: its TypeId (for a kind with slots, the first slot
// of its family no other line takes, from where an add starts), its method (-lh0- for a kind stored
// as it is, else -lh5-), and the content file's name as the stored name.
//
// The longer line of earlier versions is still read:
//   PLACE FILE SWITCH TYPE_ID METHOD AT ORIGINAL PACKED SHA256 "STORED NAME"
// with AT the hexadecimal offset where the member stood ("-" for a line
// added by hand) and the sizes in bytes ("-" where none).
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
    std::optional<std::uint32_t> at;                // long lines only
    std::optional<std::uint32_t> original, packed;  // long lines only
    std::string sha256;                             // empty on an added line
    std::string name;
    std::string note;  // written as a comment above the line (what a salvage found)
};

struct Manifest {
    std::string image_file;
    std::uint32_t image_size = 0;
    std::string image_sha256;
    int image_line = 0;              // the image line's number
    std::vector<std::string> notes;  // written as comments above the lines
    std::vector<ManifestLine> lines;
};

// The text of a manifest; `title` is the first comment line. (Notes are
// written, not read back: a comment is for people.)
std::string manifest_text(const Manifest& manifest, const std::string& title);

// The manifest in `text`, or what is wrong: "manifest line %d: ...".
std::variant<Manifest, std::string> parse_manifest(const std::string& text);

// Fills in what the chain lines of `m` leave to be derived (see above);
// the fault of a line whose switch and TypeId disagree or whose TypeId
// cannot be derived, as "manifest line %d: ...". Run by parse_manifest.
std::optional<std::string> derive_lines(Manifest& m);

// What makes a well-formed manifest one no image can be packed from: two
// chain lines for one TypeId (an identical line said as such), as
// "manifest line %d: ..."; nothing when there is none. (A second image,
// bios or other block line is refused by parse_manifest.)
std::optional<std::string> manifest_conflict(const Manifest& manifest);

// What keeps /pack from a line a salvage wrote: its file is named as one
// a damaged component expanded to (NAME.damaged.EXT); nothing otherwise.
std::optional<std::string> damaged_line(const ManifestLine& l);

// A fault of line `l`: "manifest line %d: `what`".
std::string line_fault(const ManifestLine& l, const std::string& what);
