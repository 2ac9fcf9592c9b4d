// Checked in-place writes of the image.
#include "image/image_writer.hpp"

#include "common/fatal.hpp"
#include "image/bios_image.hpp"
#include "image/chain.hpp"

namespace {

[[noreturn]] void write_failed(const BiosImage& image) { fatal("Can't write " + image.path); }

}  // namespace

void write_image(BiosImage& image, std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (offset + data.size() > image.file_size ||
        !image.file.write_at(static_cast<std::int64_t>(offset), data))
        write_failed(image);
}

void remove_from_image(BiosImage& image, std::uint32_t position, std::uint32_t length,
                       std::uint32_t end) {
    if (!close_gap(image.file, position, length, end)) write_failed(image);
}

void finish_image_writes(BiosImage& image) {
    if (!image.file.flush()) write_failed(image);
}
