// The CPU microcode component copied or expanded out of the image.
#include "insert/microcode_capture.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "archive/extract.hpp"
#include "archive/work_files.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"

namespace {

// Expands the one member in "FILE_BUF.BIN" into "original.tmp"; false when
// the codec gave up on it or its data ended early (the expansion said so),
// and then no "original.tmp" is left.
bool expand_buffer_file() {
    bool ok = false;
    try {
        ok = extract_archive(work_file::kMemberCopy);
    } catch (const FatalError& error) {
        console::conf("%s\n", error.message.c_str());
    }
    if (!ok) std::remove(work_file::kExpanded);
    return ok && file_exists(work_file::kExpanded);
}

}  // namespace

void capture_microcode(File& image, const ChainMember& member, MicrocodeCapture& capture) {
    capture = MicrocodeCapture{};
    std::remove(work_file::kCpuCode);
    const HeaderBytes& header = member.header;
    std::uint32_t original = bytes::le32(header.data() + kOriginalSizeAt);
    if (original > kMaxCapturedSize) return;

    bool saved = false;
    if (bytes::has_text(header, kMethodAt, "-lh0-")) {
        // Stored: the data bytes are the component.
        std::uint64_t data_at = std::uint64_t{member.position} + header_size(header) + 2;
        saved = copy_out(image, data_at, std::min(packed_size(header), original), work_file::kMemberCopy) &&
                std::rename(work_file::kMemberCopy, work_file::kCpuCode) == 0;
    } else {
        saved = copy_out(image, member.position, member_span(header), work_file::kMemberCopy) &&
                expand_buffer_file() && std::rename(work_file::kExpanded, work_file::kCpuCode) == 0;
    }
    std::remove(work_file::kMemberCopy);
    if (!saved) return;
    capture.captured = true;
    capture.original_size = original;
}
