// Member expansion in memory.
#include "archive/extract.hpp"

#include <algorithm>

#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/lh5_decoder.hpp"
#include "common/console.hpp"

Expansion expand_member(std::span<const std::uint8_t> member, std::size_t limit) {
    Expansion result;
    const HeaderRead read = read_member_header(member);
    if (read.status == HeaderRead::Status::NoMember) return result;
    if (read.status == HeaderRead::Status::Damaged) {
        result.status = Expansion::Status::Damaged;
        result.damage = "Header sum error";
        return result;
    }
    result.header = read.header;
    const ComponentHeader* header = &result.header;
    const std::string_view method(header->method.data(), header->method.size());
    if (!known_method(method)) {
        result.status = Expansion::Status::UnknownMethod;
        return result;
    }
    const std::size_t data_at = std::size_t{header->header_size} + 2;
    // The member's data: its packed size at most, never the bytes of what follows it.
    const std::span<const std::uint8_t> rest = member.subspan(std::min(data_at, member.size()));
    const std::span<const std::uint8_t> data = rest.first(std::min<std::size_t>(rest.size(), header->packed_size));
    const std::size_t want = std::min<std::size_t>(header->original_size, limit);
    result.status = Expansion::Status::Complete;
    if (header->method[3] == '0') {
        if (data.size() < want) {
            result.status = Expansion::Status::Damaged;
            result.damage = "Can't read";
            return result;
        }
        result.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(want));
        result.crc = crc16::update(0, result.data);
        return result;
    }
    lh5::source_from_memory(data);
    lh5_expand_start();
    if (lh5_expand_vector(result.data, want, &result.crc) < want) {
        if (lh5_bad_table()) {
            result.status = Expansion::Status::Damaged;
            result.damage = "Bad table";
        } else {
            console::conf("%s: compressed data ends early\n", header->name.c_str());
            result.status = Expansion::Status::EndedEarly;
        }
    }
    return result;
}

void say_unknown_method(const Expansion& e) {
    console::conf("Unknown method: %u\n", static_cast<unsigned>(static_cast<unsigned char>(e.header.method[3])));
}
