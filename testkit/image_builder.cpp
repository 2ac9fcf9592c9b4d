// Byte-level layout of synthetic BIOS images, independent of the tool's code.
#include "testkit/image_builder.hpp"

#include <cstdio>
#include <stdexcept>

namespace testkit {

std::uint16_t crc16_arc(std::span<const std::uint8_t> data) {
    std::uint16_t crc = 0;
    for (std::uint8_t b : data) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<std::uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

namespace {

void le(std::vector<std::uint8_t>& out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> member_bytes(const MemberFields& fields) {
    if (fields.method.size() != 5) throw std::invalid_argument("method must have 5 characters");
    if (fields.name.size() > 230) throw std::invalid_argument("member name too long");
    std::size_t n = fields.name.size();
    std::vector<std::uint8_t> out;
    out.reserve(n + 27 + fields.data.size());          // the header is H + 2 bytes
    out.push_back(static_cast<std::uint8_t>(n + 25));  // H
    out.push_back(0);                                  // header sum, below
    out.insert(out.end(), fields.method.begin(), fields.method.end());
    le(out, fields.data.size(), 4);
    le(out, fields.original_size >= 0 ? static_cast<std::uint64_t>(fields.original_size) : fields.data.size(), 4);
    le(out, fields.type_offset, 2);
    le(out, fields.type_segment, 2);
    out.push_back(0x20);  // attribute
    out.push_back(0x01);  // header level
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), fields.name.begin(), fields.name.end());
    le(out, fields.data_crc >= 0 ? static_cast<std::uint32_t>(fields.data_crc) : crc16_arc(fields.data), 2);
    out.push_back(0x20);  // OS id
    le(out, 0, 2);        // no extended header
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < out.size(); ++i) sum = static_cast<std::uint8_t>(sum + out[i]);
    out[1] = sum;
    out.insert(out.end(), fields.data.begin(), fields.data.end());
    return out;
}

MemberFields stored_member(std::uint16_t type_segment, std::uint16_t type_offset, std::string name, std::uint32_t size,
                           std::uint8_t seed) {
    MemberFields fields;
    fields.type_segment = type_segment;
    fields.type_offset = type_offset;
    fields.name = std::move(name);
    fields.data.resize(size);
    for (std::uint32_t i = 0; i < size; ++i) fields.data[i] = static_cast<std::uint8_t>(seed + i * 7);
    return fields;
}

SyntheticImage::SyntheticImage(std::uint32_t size) : bytes(size, 0xFF) {}

void SyntheticImage::put(std::uint32_t offset, std::span<const std::uint8_t> data) {
    if (offset > bytes.size() || bytes.size() - offset < data.size())
        throw std::out_of_range("write outside the synthetic image");
    std::copy(data.begin(), data.end(), bytes.begin() + offset);
}

void SyntheticImage::put_text(std::uint32_t offset, std::string_view text) {
    put(offset, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void SyntheticImage::put8(std::uint32_t offset, std::uint8_t value) {
    put(offset, {&value, 1});
}

void SyntheticImage::put16(std::uint32_t offset, std::uint16_t value) {
    std::uint8_t b[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    put(offset, b);
}

void SyntheticImage::put32(std::uint32_t offset, std::uint32_t value) {
    put16(offset, static_cast<std::uint16_t>(value));
    put16(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void SyntheticImage::fill(std::uint32_t offset, std::uint32_t count, std::uint8_t value) {
    put(offset, std::vector<std::uint8_t>(count, value));
}

std::uint32_t SyntheticImage::put_member(std::uint32_t offset, std::span<const std::uint8_t> member,
                                         std::uint8_t extra) {
    put(offset, member);
    std::uint32_t end = offset + static_cast<std::uint32_t>(member.size());
    put8(end, extra);
    return end + 1;
}

std::uint32_t SyntheticImage::put_member(std::uint32_t offset, const MemberFields& fields) {
    return put_member(offset, member_bytes(fields));
}

std::uint32_t SyntheticImage::put_chain(std::uint32_t offset, const std::vector<MemberFields>& members) {
    for (const MemberFields& m : members) offset = put_member(offset, m);
    return offset;
}

std::uint32_t SyntheticImage::put_bbss(const BbssFields& fields) {
    if (fields.offset < 26) throw std::invalid_argument("*BBSS* needs 26 bytes in front of it");
    std::uint32_t window = top_base() + static_cast<std::uint32_t>(fields.window) * 0x10000;
    std::uint32_t at = window + fields.offset;
    put_text(at, "*BBSS*");
    put16(at + 6, fields.w6);
    put16(at + 8, fields.w8);
    put16(at + 12, fields.w12);
    put16(at + 18, fields.w18);
    put16(at + 0x21, fields.w21);
    std::uint8_t flags = bytes.at(at - 26);
    put8(at - 26, static_cast<std::uint8_t>(fields.imd_reset ? flags | 0x02 : flags & ~0x02));
    if (fields.bank_length != 0) put16(window + (fields.w6 & 0xF000u) + 0xA, fields.bank_length);
    return at;
}

void SyntheticImage::put_bs1(std::uint32_t offset, std::uint32_t address) {
    put_text(offset, "*BS1");
    fill(offset + 4, 7, 0x00);
    put32(offset + 11, address);
}

std::uint32_t SyntheticImage::put_ncpu_block(std::uint32_t area_end, std::span<const std::uint8_t> data) {
    std::uint32_t trailer = area_end - 32;
    std::uint32_t start = trailer - static_cast<std::uint32_t>(data.size());
    put(start, data);
    put_text(trailer, "*ALIN16*");
    put32(trailer + 8, static_cast<std::uint32_t>(data.size()));
    put32(trailer + 12, 0);
    put_text(trailer + 16, "NCPUCODE.BIN");
    fill(trailer + 28, 4, 0x00);  // the name's 0 byte and three 0 bytes
    return start;
}

void SyntheticImage::put_record16(std::uint32_t index, std::string_view text) {
    put_text(top_base() + 16 * index, text);
}

void SyntheticImage::put_slot_record(std::uint32_t index, std::string_view text, std::uint16_t start,
                                     std::uint16_t end) {
    put_record16(index, text);
    put16(top_base() + 16 * index + 8, start);
    put16(top_base() + 16 * index + 10, end);
}

void SyntheticImage::save(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace testkit
