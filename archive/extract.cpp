// Member expansion, in memory or straight into a file.
#include "archive/extract.hpp"

#include <algorithm>
#include <cstdio>

#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/lh5_decoder.hpp"

namespace {

// The member's header and data: false, with `result` saying why, when
// there is nothing to expand (no member, a damaged header, an unknown
// method, stored data cut short). Otherwise `result` is Complete, with the
// header, and `data` and `want` are the stored or compressed bytes and how
// many bytes to produce.
bool open_member(std::span<const std::uint8_t> member, std::size_t limit, Expansion& result,
                 std::span<const std::uint8_t>& data, std::size_t& want) {
    const HeaderRead read = read_member_header(member);
    if (read.status == HeaderStatus::NoMember) return false;
    if (read.status == HeaderStatus::Damaged) {
        result.status = Expansion::Status::Damaged;
        result.damage = "Header sum error";
        return false;
    }
    result.header = read.head;
    const MemberHead& header = result.header;
    if (!known_method(method_text(header))) {
        result.status = Expansion::Status::UnknownMethod;
        return false;
    }
    const std::size_t data_at = std::size_t{header_size(header)} + 2;
    // The member's data: its packed size at most, never the bytes of what follows it.
    const std::span<const std::uint8_t> rest = member.subspan(std::min(data_at, member.size()));
    data = rest.first(std::min<std::size_t>(rest.size(), packed_size(header)));
    want = std::min<std::size_t>(original_size(header), limit);
    if (is_stored(header) && data.size() < want) {
        result.status = Expansion::Status::Damaged;
        result.damage = "Can't read";
        return false;
    }
    result.status = Expansion::Status::Complete;
    return true;
}

// Sets the outcome of an LH5 expansion that gave `got` of `want` bytes.
void finish_lh5(Expansion& result, std::size_t got, std::size_t want, Voice voice) {
    if (got == want) return;
    if (lh5_bad_table()) {
        result.status = Expansion::Status::Damaged;
        result.damage = "Bad table";
    } else {
        say(voice.err, joined({listed_name(result.header), ": compressed data ends early\n"}));
        result.status = Expansion::Status::EndedEarly;
    }
}

}  // namespace

Expansion expand_member(std::span<const std::uint8_t> member, std::size_t limit, Voice voice) {
    Expansion result;
    std::span<const std::uint8_t> data;
    std::size_t want = 0;
    if (!open_member(member, limit, result, data, want)) return result;
    if (is_stored(result.header)) {
        result.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(want));
        result.crc = crc16::update(0, result.data);
        return result;
    }
    lh5::source_from_memory(data);
    lh5_expand_start();
    finish_lh5(result, lh5_expand_vector(result.data, want, &result.crc), want, voice);
    return result;
}

namespace {

// The opened member's original bytes given to `sink` as they are produced.
void stream_member(Expansion& result, std::span<const std::uint8_t> data, std::size_t want, ExpansionSink sink,
                   Voice voice) {
    auto cannot_write = [&result] {
        result.status = Expansion::Status::Damaged;
        result.damage = "Unable to write";
    };
    if (is_stored(result.header)) {
        const std::span<const std::uint8_t> original = data.first(want);
        result.crc = crc16::update(0, original);
        // In pieces, as the codec gives them: a sink may count what it takes.
        for (std::size_t done = 0; done < original.size(); done += lh5::kWindowPiece)
            if (!sink.write(sink.context, original.subspan(done, std::min(lh5::kWindowPiece, original.size() - done))))
                return cannot_write();
        return;
    }
    lh5::source_from_memory(data);
    lh5_expand_start();
    std::size_t done = 0;
    while (done < want) {
        const std::size_t n = std::min(want - done, lh5::kWindowPiece);
        const std::span<const std::uint8_t> piece = lh5_expand_piece(n);
        result.crc = crc16::update(result.crc, piece);
        if (!piece.empty() && !sink.write(sink.context, piece)) return cannot_write();
        done += piece.size();
        if (piece.size() < n) break;
    }
    finish_lh5(result, done, want, voice);
}

}  // namespace

Expansion expand_member_to_sink(std::span<const std::uint8_t> member, ExpansionSink sink, std::size_t limit,
                                Voice voice) {
    Expansion result;
    std::span<const std::uint8_t> data;
    std::size_t want = 0;
    if (!open_member(member, limit, result, data, want)) return result;
    stream_member(result, data, want, sink, voice);
    return result;
}

void say_unknown_method(const Expansion& e, Voice voice) {
    char text[32];
    std::snprintf(text, sizeof text, "Unknown method: %u\n",
                  static_cast<unsigned>(static_cast<unsigned char>(method_char(e.header))));
    say(voice.err, text);
}
