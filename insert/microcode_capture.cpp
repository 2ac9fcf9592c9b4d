// The CPU microcode component copied or expanded out of the image.
#include "insert/microcode_capture.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "archive/extract.hpp"
#include "archive/settings.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"

namespace {

inline constexpr const char* kExpandedFile = "original.tmp";
inline constexpr std::size_t kCopyPiece = 0x8000;

// Copies `count` bytes at `from` of `image` into a new file `path`.
bool copy_out(File& image, std::uint64_t from, std::uint64_t count, const char* path) {
    File out(path, "wb");
    if (!out.is_open()) return false;
    std::vector<std::uint8_t> piece(kCopyPiece);
    while (count > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyPiece));
        std::span<std::uint8_t> part(piece.data(), n);
        if (image.read_at(static_cast<std::int64_t>(from), part) != n) return false;
        if (!out.write(part)) return false;
        from += n;
        count -= n;
    }
    return out.flush();
}

// Expands the one member in "FILE_BUF.BIN" into "original.tmp"; false when
// the codec gave up on it.
bool expand_buffer_file() {
    std::string saved_name = archive_settings().archive_name;
    archive_settings().archive_name = kMemberBufferFile;
    bool ok = true;
    try {
        extract_component();
    } catch (const FatalError& error) {
        console::conf("%s\n", error.message.c_str());
        std::remove(kExpandedFile);
        ok = false;
    }
    archive_settings().archive_name = saved_name;
    return ok && file_exists(kExpandedFile);
}

}  // namespace

void capture_microcode(File& image, const ChainMember& member, MicrocodeCapture& capture) {
    capture = MicrocodeCapture{};
    std::remove(kCpuCodeFile);
    const HeaderBytes& header = member.header;
    std::uint32_t original = bytes::le32(header.data() + kOriginalSizeAt);
    if (original > kMaxCapturedSize) return;

    bool saved = false;
    if (bytes::has_text(header, kMethodAt, "-lh0-")) {
        // Stored: the data bytes are the component.
        std::uint64_t data_at = std::uint64_t{member.position} + header_size(header) + 2;
        saved = copy_out(image, data_at, std::min(packed_size(header), original), kMemberBufferFile) &&
                std::rename(kMemberBufferFile, kCpuCodeFile) == 0;
    } else {
        saved = copy_out(image, member.position, member_span(header), kMemberBufferFile) &&
                expand_buffer_file() && std::rename(kExpandedFile, kCpuCodeFile) == 0;
    }
    std::remove(kMemberBufferFile);
    if (!saved) return;
    capture.captured = true;
    capture.original_size = original;
}
