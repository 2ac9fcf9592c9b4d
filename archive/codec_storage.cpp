// The codec's one storage instance and its byte source and sink.
#include "archive/codec_storage.hpp"

#include <algorithm>
#include <cstring>

#include "common/file.hpp"

namespace lh5 {

constinit CodecStorage g_storage;

void source_from_file(File& file, std::uint64_t limit) {
    ByteSource& s = storage().source;
    s.file = &file;
    s.memory = {};
    s.limit = limit;
    s.buffer_pos = s.buffer_end = 0;
    s.past_end = 0;
}

void source_from_memory(std::span<const std::uint8_t> memory) {
    ByteSource& s = storage().source;
    s.file = nullptr;
    s.memory = memory;
    s.limit = memory.size();
    s.buffer_pos = s.buffer_end = 0;
    s.past_end = 0;
}

std::size_t source_read(std::span<std::uint8_t> out) {
    ByteSource& s = storage().source;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), s.limit));
    if (n == 0) return 0;
    std::size_t got;
    if (s.file) {
        got = s.file->read(out.first(n));
    } else {
        std::size_t at = s.memory.size() - static_cast<std::size_t>(s.limit);
        std::memcpy(out.data(), s.memory.data() + at, n);
        got = n;
    }
    s.limit -= got;
    return got;
}

void sink_to_file(File& file) {
    ByteSink& s = storage().sink;
    s.file = &file;
    s.memory = nullptr;
    s.fill = 0;
    s.failed = false;
}

void sink_to_memory(std::vector<std::uint8_t>& memory) {
    ByteSink& s = storage().sink;
    s.file = nullptr;
    s.memory = &memory;
    s.fill = 0;
    s.failed = false;
}

void sink_flush() {
    ByteSink& s = storage().sink;
    if (s.fill == 0) return;
    std::span<const std::uint8_t> data(s.buffer.data(), s.fill);
    if (s.file) {
        if (!s.file->write(data)) s.failed = true;
    } else if (s.memory) {
        s.memory->insert(s.memory->end(), data.begin(), data.end());
    }
    s.fill = 0;
}

}  // namespace lh5
