// The CPU microcode component copied or expanded out of the image.
#include "insert/microcode_capture.hpp"

#include <algorithm>

#include "archive/extract.hpp"
#include "common/console.hpp"

void capture_microcode(ImageBytes image, const ChainMember& member, MicrocodeCapture& capture) {
    capture = MicrocodeCapture{};
    const MemberHead& header = member.header;
    const std::uint32_t original = original_size(header);
    if (original > kMaxCapturedSize) return;

    const std::span<const std::uint8_t> at = image.subspan(member.position);
    if (is_stored(header)) {
        // Stored: the data bytes are the component.
        const std::size_t data_at = std::size_t{header_size(header)} + 2;
        const std::size_t n = std::min<std::size_t>(std::min(packed_size(header), original),
                                                    at.size() > data_at ? at.size() - data_at : 0);
        capture.data.assign(at.begin() + static_cast<std::ptrdiff_t>(data_at),
                            at.begin() + static_cast<std::ptrdiff_t>(data_at + n));
    } else {
        Expansion e = expand_member(at);
        // A damaged member is said on the console channel; the listing goes on without it.
        if (e.status == Expansion::Status::Damaged) console::conf("%s\n", e.damage);
        if (e.status == Expansion::Status::UnknownMethod)
            say_unknown_method(e);
        if (e.status != Expansion::Status::Complete) return;
        capture.data = std::move(e.data);
    }
    capture.captured = true;
    capture.original_size = original;
}
