// The image's one writer and the ranges it may change.
#include "image/image_writer.hpp"

#include <algorithm>
#include <cstdio>

#include "common/fatal.hpp"
#include "image/chain.hpp"

namespace {

// True when [begin, end) lies inside the image and inside one declared range.
bool allowed(const BiosImage& image, std::uint64_t begin, std::uint64_t end) {
    if (end > image.bytes.size()) return false;
    return std::any_of(image.writable.begin(), image.writable.end(),
                       [&](const ByteRange& r) { return begin >= r.begin && end <= r.end; });
}

[[noreturn]] void refuse(const BiosImage& image, std::uint64_t begin, std::uint64_t end) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Internal error: a change of %05llXh-%05llXh lies outside what the operation may change;"
                  " %s is not written",
                  static_cast<unsigned long long>(begin), static_cast<unsigned long long>(end),
                  image.path.c_str());
    fatal(text);
}

}  // namespace

WriteScope::WriteScope(BiosImage& image, std::initializer_list<ByteRange> ranges) : image_(image) {
    image_.writable.assign(ranges.begin(), ranges.end());
}

WriteScope::~WriteScope() { image_.writable.clear(); }

ByteRange chain_range(const BiosImage& image) {
    return {image.chain_start, std::max(image.chain_start, chain_space_end(image))};
}

void write_image(BiosImage& image, std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (data.empty()) return;
    if (!allowed(image, offset, offset + data.size())) refuse(image, offset, offset + data.size());
    std::copy(data.begin(), data.end(), image.bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

void remove_from_image(BiosImage& image, std::uint32_t position, std::uint32_t length, std::uint32_t end) {
    if (!allowed(image, position, end)) refuse(image, position, end);
    close_gap(image.bytes, position, length, end);
}
