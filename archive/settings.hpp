// The two process-wide settings of the work archive: the archive's file
// name and the current TypeId text that the writer puts into the header of
// the member it creates.
#pragma once

#include <string>

#include "archive/work_files.hpp"

struct ArchiveSettings {
    std::string archive_name = work_file::kArchive;  // set back after every option group
    std::string type_id = "7000:0";         // set by the catalogue step, never reset
};

// The one instance for the process.
ArchiveSettings& archive_settings();
