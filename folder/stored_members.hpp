// A manifest line's member found in image.bin by what identifies it: its
// place, TypeId, method, stored name and the SHA-256 of its content, not
// by where it stood, so that a line stays the same when another member
// moves it.
#pragma once

#include "folder/manifest.hpp"

#include <vector>

struct BiosImage;
struct Component;

// Sets `at` of each member line that has a SHA-256 and no AT (a line of a
// long manifest keeps its own) to the position of the member of `components` it
// describes; each member is given to one line at most. A line whose member
// is not there keeps no AT: its content is packed anew.
void locate_stored_members(const BiosImage& image, const std::vector<Component>& components, Manifest& m);
