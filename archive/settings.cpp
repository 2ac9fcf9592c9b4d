// The process-wide work-archive settings.
#include "archive/settings.hpp"

ArchiveSettings& archive_settings() {
    static ArchiveSettings settings;
    return settings;
}
