// Expanding one member, in memory, and the step from one member to the next.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/member_header.hpp"
#include "common/voice.hpp"

// What an expansion gave.
struct Expansion {
    enum class Status {
        Complete,       // `data` holds the original bytes (up to the limit asked for)
        NoMember,       // a header size of 0, or nothing at all: no member there
        UnknownMethod,  // a method other than "-lh0-", "-lh4-" and "-lh5-": nothing expanded
        EndedEarly,     // the compressed data ran out: `data` holds the bytes before that point
        Damaged,        // `damage` says what: nothing, or the bytes before that point, in `data`
    } status = Status::NoMember;
    const char* damage = "";  // for Damaged: "Header sum error", "Can't read", "Bad table" or "Unable to write"
    MemberHead header;        // the member's header as read (for NoMember: nothing of use)
    std::vector<std::uint8_t> data;
    std::uint16_t crc = 0;  // CRC-16 of `data`
};

// Expands the member whose header starts at `member[0]`; `member` runs on to
// the end of whatever holds it (an archive, or an image from the member's
// position). At most `limit` bytes of its original data are expanded.
// EndedEarly also says "%s: compressed data ends early\n" (the stored name)
// on the console channel of `voice` (none: silent); nothing else is said. Damaged: "Header sum
// error" (header checksum, or a header cut short or too short for its name),
// "Can't read" (stored data cut short: fewer than the original size within
// the packed size and the holder), "Bad table" (inconsistent code
// lengths); the caller decides whether that ends the run.
Expansion expand_member(std::span<const std::uint8_t> member, std::size_t limit = SIZE_MAX, Voice voice = {});

// Where a streamed expansion's bytes go, in order, a window of the codec's
// storage at a time: `write` gets each piece with `context`; false stops
// the expansion (Damaged, "Unable to write").
struct ExpansionSink {
    bool (*write)(void* context, std::span<const std::uint8_t> piece) = nullptr;
    void* context = nullptr;
};

// The same, into `sink` (a file the caller made, say), for a member too
// large to hold: the original bytes go out as they are produced, a window
// of the codec's storage at a time, and are never held whole; `data` stays
// empty and `crc` is that of the bytes given to the sink. The sink gets
// nothing unless the header was read and the method is known. A sink that
// refuses a piece makes it Damaged, "Unable to write". Prints what
// expand_member prints.
Expansion expand_member_to_sink(std::span<const std::uint8_t> member, ExpansionSink sink, std::size_t limit = SIZE_MAX,
                                Voice voice = {});

// Says "Unknown method: %u" (the method's fourth byte) on the voice's console
// channel, for an expansion that ended UnknownMethod.
void say_unknown_method(const Expansion& e, Voice voice);
