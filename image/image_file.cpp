// The run's lock on its image, the rollback journal and the save.
#include "image/image_file.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "common/console.hpp"
#include "common/digest64.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"

namespace {

namespace fs = std::filesystem;

constexpr char kMagic[8] = {'M', 'Z', '3', '2', 'J', 'R', 'N', 'L'};
constexpr std::size_t kHeadSize = 36;  // magic, size, two digests, number of ranges
constexpr std::size_t kRangeHead = 8;  // offset, length
constexpr std::size_t kTailSize = 8;   // the journal's own digest
// Changed runs closer than this are saved as one range: fewer writes.
constexpr std::size_t kMergeGap = 64;
constexpr std::chrono::milliseconds kPoll{20};

struct Range {
    std::uint32_t offset = 0, length = 0;
};

void put_le(std::vector<std::uint8_t>& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t get_le(std::span<const std::uint8_t> in, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | in[at + static_cast<std::size_t>(i)];
    return value;
}

// The runs of bytes that differ, close ones merged.
std::vector<Range> changed_ranges(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after) {
    // Equal stretches are passed over a whole aligned block at a time: one
    // compare a block, however the equal and the different bytes alternate.
    constexpr std::size_t kStride = 256;
    std::vector<Range> ranges;
    for (std::size_t at = 0; at < after.size(); ++at) {
        if (before[at] == after[at]) {
            if (at % kStride == 0 && at + kStride <= after.size() &&
                std::memcmp(&before[at], &after[at], kStride) == 0)
                at += kStride - 1;
            continue;
        }
        std::size_t end = at + 1;
        while (end < after.size() && before[end] != after[end]) ++end;
        if (!ranges.empty() && at - (ranges.back().offset + ranges.back().length) < kMergeGap)
            ranges.back().length = static_cast<std::uint32_t>(end - ranges.back().offset);
        else
            ranges.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(end - at)});
        at = end - 1;
    }
    return ranges;
}

std::vector<std::uint8_t> make_journal(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                       const std::vector<Range>& ranges) {
    // The old bytes of every range, and digests that tell the images apart.
    std::vector<std::uint8_t> j(kMagic, kMagic + sizeof kMagic);
    put_le(j, before.size(), 8);
    put_le(j, journal_digest(before), 8);
    put_le(j, journal_digest(after), 8);
    put_le(j, ranges.size(), 4);
    for (const Range& r : ranges) {
        put_le(j, r.offset, 4);
        put_le(j, r.length, 4);
        j.insert(j.end(), before.begin() + r.offset, before.begin() + r.offset + r.length);
    }
    put_le(j, journal_digest(j), 8);
    return j;
}

// A journal read back: what it says, when it is whole.
struct Journal {
    std::uint64_t image_size = 0, before = 0, after = 0;
    std::vector<Range> ranges;
    std::span<const std::uint8_t> bytes;  // the whole journal; range data lies in it
    std::vector<std::size_t> data_at;     // where each range's old bytes start in `bytes`
};

std::optional<Journal> parse_journal(std::span<const std::uint8_t> j) {
    if (j.size() < kHeadSize + kTailSize || std::memcmp(j.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
    const std::size_t body = j.size() - kTailSize;
    if (get_le(j, body, 8) != journal_digest(j.first(body))) return std::nullopt;  // cut short or damaged
    Journal out;
    out.bytes = j;
    out.image_size = get_le(j, 8, 8);
    out.before = get_le(j, 16, 8);
    out.after = get_le(j, 24, 8);
    const std::uint64_t n = get_le(j, 32, 4);
    std::size_t at = kHeadSize;
    for (std::uint64_t i = 0; i < n; ++i) {
        if (body - at < kRangeHead) return std::nullopt;
        const Range r{static_cast<std::uint32_t>(get_le(j, at, 4)), static_cast<std::uint32_t>(get_le(j, at + 4, 4))};
        at += kRangeHead;
        if (body - at < r.length || std::uint64_t{r.offset} + r.length > out.image_size) return std::nullopt;
        out.ranges.push_back(r);
        out.data_at.push_back(at);
        at += r.length;
    }
    if (at != body) return std::nullopt;
    return out;
}

std::string folder_of(const std::string& path) { return fs::path(path).parent_path().string(); }

// Writes the journal and flushes it and its folder entry to the disk.
bool write_journal(const std::string& path, std::span<const std::uint8_t> journal) {
    // Made new, never through what stands at its name: one planted there fails the save.
    platform::FileHandle out = platform::create_new(path, 0600);
    const bool ok = out.is_open() && platform::write_at(out, 0, journal) && platform::sync(out);
    out.close();
    return ok && platform::sync_folder(folder_of(path));
}

void remove_journal(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    platform::sync_folder(folder_of(path));
}

// Writes each range of `source` (the whole image's bytes) into the file and flushes it.
bool write_ranges(const platform::FileHandle& file, std::span<const std::uint8_t> source,
                  const std::vector<Range>& ranges) {
    for (const Range& r : ranges)
        if (!platform::write_at(file, r.offset, source.subspan(r.offset, r.length))) return false;
    return platform::sync(file);
}

// The journal beside an image that the run holds Exclusive: the image is
// restored as it was before the stopped save, or left as it is when it
// already is that image, the one the save made, or another one altogether.
void recover(const ImageFile& file, const std::string& jpath) {
    const std::optional<std::vector<std::uint8_t>> raw = read_input_file(jpath);
    const std::optional<Journal> journal = raw ? parse_journal(*raw) : std::nullopt;
    if (!journal) {
        // Flushed before the image is touched: a journal cut short means an untouched image.
        console::conf("%s: a stopped run left it whole; %s removed.\n", file.path.c_str(), jpath.c_str());
        remove_journal(jpath);
        return;
    }
    std::optional<std::vector<std::uint8_t>> image = read_input_file(file.path, kMaxImageSize);
    if (!image) fatal("Can't read " + file.path);
    const std::uint64_t now = journal_digest(*image);
    if (image->size() != journal->image_size || now == journal->before || now == journal->after) {
        console::conf("%s: a stopped run left it whole; %s removed.\n", file.path.c_str(), jpath.c_str());
        remove_journal(jpath);
        return;
    }
    for (std::size_t i = 0; i < journal->ranges.size(); ++i) {
        const Range& r = journal->ranges[i];
        std::copy_n(journal->bytes.begin() + static_cast<std::ptrdiff_t>(journal->data_at[i]), r.length,
                    image->begin() + r.offset);
    }
    if (journal_digest(*image) != journal->before) {
        // Not the half-saved image the journal was made for: copied over since.
        console::conf("%s: %s is stale; the image is kept as it is.\n", file.path.c_str(), jpath.c_str());
        remove_journal(jpath);
        return;
    }
    if (!file.writable || !write_ranges(file.handle, *image, journal->ranges)) {
        console::conf("%s was left half-saved by a run that was stopped; it cannot be restored from %s.\n",
                      file.path.c_str(), jpath.c_str());
        fatal("Can't write " + file.path);
    }
    remove_journal(jpath);
    console::conf("%s: restored as it was before a run that was stopped while saving it.\n", file.path.c_str());
}

// Takes the lock, waiting up to `deadline` and saying once that it waits.
bool wait_for_lock(const ImageFile& file, platform::Lock lock, std::chrono::steady_clock::time_point deadline,
                   bool& said) {
    while (!platform::try_lock(file.handle, lock)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (!said) {
            console::conf("%s is in use by another run; waiting for it to end (at most %lld seconds)\n",
                          file.path.c_str(),
                          static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kLockWait).count()));
            said = true;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> journal_bytes(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after) {
    return make_journal(before, after, changed_ranges(before, after));
}

std::uint64_t journal_digest(std::span<const std::uint8_t> data) { return digest64(data); }

std::string journal_path(const std::string& image_path) {
    return resolve_links(image_path).value_or(image_path) + ".journal";
}

bool can_save(const std::string& image_path) {
    const std::string journal = journal_path(image_path);
    std::error_code ec;
    const fs::file_status there = fs::symlink_status(journal, ec);
    return platform::folder_writable(folder_of(journal)) && (!fs::exists(there) || fs::is_regular_file(there));
}

namespace {

// Opens the image and takes its lock; false when it cannot be opened.
// `lock` becomes Exclusive when a journal is there to deal with.
bool open_and_lock(const std::string& path, platform::Lock& lock, std::chrono::steady_clock::time_point deadline,
                   bool& said, ImageFile& file, bool& in_use) {
    file.handle = platform::open_existing(path, true);
    file.writable = file.handle.is_open();
    if (!file.writable) file.handle = platform::open_existing(path, false);
    if (!file.handle.is_open()) return false;
    const std::string jpath = journal_path(path);
    if (file_exists(jpath)) lock = platform::Lock::Exclusive;
    in_use = !wait_for_lock(file, lock, deadline, said);
    if (in_use || lock == platform::Lock::Exclusive || !file_exists(jpath)) return true;
    // A save was stopped after this run looked: the restore needs the image alone.
    platform::unlock(file.handle);
    lock = platform::Lock::Exclusive;
    in_use = !wait_for_lock(file, lock, deadline, said);
    return true;
}

}  // namespace

LockOutcome lock_image(const std::string& path, platform::Lock lock, std::chrono::milliseconds wait,
                       ImageFile& file) {
    file.path = path;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool said = false;
    for (;;) {
        bool in_use = false;
        if (!open_and_lock(path, lock, deadline, said, file, in_use)) return LockOutcome::NotFound;
        if (in_use) return LockOutcome::InUse;
        // A run that waited may find the name given to a new file meanwhile
        // (an image written whole and renamed into place): lock that one.
        if (platform::same_file(file.handle, path)) break;
        file.handle.close();
    }
    file.exclusive = lock == platform::Lock::Exclusive;
    const std::string jpath = journal_path(path);
    if (file.exclusive && file_exists(jpath)) recover(file, jpath);
    return LockOutcome::Locked;
}

void save_image(BiosImage& image, const ImageFile& file) {
    if (image.bytes == image.on_disk) return;
    if (!file.exclusive || !file.writable || image.bytes.size() != image.on_disk.size())
        fatal("Can't write " + image.path);
    const std::vector<Range> ranges = changed_ranges(image.on_disk, image.bytes);
    const std::string jpath = journal_path(file.path);
    if (!write_journal(jpath, make_journal(image.on_disk, image.bytes, ranges))) {
        std::error_code ec;
        fs::remove(jpath, ec);
        console::conf("Can't write %s, the journal that keeps %s whole while it is saved\n", jpath.c_str(),
                      image.path.c_str());
        fatal("Can't write " + image.path);
    }
    if (!write_ranges(file.handle, image.bytes, ranges)) {
        // Put the old bytes back at once; failing that, the journal stays for the next run.
        if (write_ranges(file.handle, image.on_disk, ranges)) remove_journal(jpath);
        fatal("Can't write " + image.path);
    }
    remove_journal(jpath);
    image.on_disk = image.bytes;
}

void save_image(BiosImage& image) {
    if (image.bytes == image.on_disk) return;
    ImageFile file;
    if (lock_image(image.path, platform::Lock::Exclusive, kLockWait, file) != LockOutcome::Locked)
        fatal("Can't write " + image.path);
    save_image(image, file);
}
