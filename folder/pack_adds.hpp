// /pack's changed chain lines as adds: each line whose content changed, or
// that is new, becomes the add of its switch (/other under its TypeId for a
// kind that has none), run through insert/ as `IMAGE /switch FILE
// name=NAME slot=X` runs it: its preparation (a bitmap converted, an
// executable's body), its ROM checks, its replacement rules and its
// placement, the line's TypeId pinning the slot of a ROM family. A recipe
// folder therefore gives the bytes the same adds give one after another.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "folder/manifest.hpp"
#include "image/image_writer.hpp"

// A line and its content.
struct LineAdd {
    const ManifestLine* line = nullptr;
    std::span<const std::uint8_t> content;
};

// Runs the adds in order through `writer`. `work_folder`: where the adds'
// work files go (a private folder: /pack writes nothing beside NEW). The
// fault, as "manifest line %d: ...", when an add refuses its line (the
// add has said why); the image is then half-made and must not be written.
std::optional<std::string> add_lines(ImageWriter& writer, std::span<const LineAdd> adds, const std::string& work_folder,
                                     bool best);
