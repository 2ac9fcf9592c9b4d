// The files a group leaves beside the image: work files, written in the
// group's work folder (a dry run's private folder) and never over the
// group's own RomFile.
#pragma once

#include <cstdint>
#include <span>

#include "image/group.hpp"

// How keeping a work file went.
enum class Kept { Yes, Refused, WriteFailed };

// keep_work_file for a group. A work file that is the group's RomFile itself
// is not replaced: "Can't pack %s: it is the work file %s" on the console
// channel, and Refused.
Kept keep_group_file(const GroupRequest& group, const char* name, std::span<const std::uint8_t> data);

// Removes the group's work file `name` (a stale one from an earlier run),
// but never the group's RomFile.
void drop_group_file(const GroupRequest& group, const char* name);
