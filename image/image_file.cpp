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

constexpr char kMagic[8] = {'M', 'Z', '3', '2', 'J', 'R', 'N', '2'};
constexpr std::size_t kHeadSize = 52;  // magic, the image's identity, size, two digests, number of ranges
constexpr std::size_t kIdSize = 24;    // magic and identity: enough to tell whose journal it is
// The journal of the version before, without the image's identity.
constexpr char kOldMagic[8] = {'M', 'Z', '3', '2', 'J', 'R', 'N', 'L'};
constexpr std::size_t kOldHeadSize = 36;
// No journal of an image the tool opens is larger: the old bytes of the
// whole image, and a range head for every 65 bytes at most.
constexpr std::uint64_t kMaxJournal = std::uint64_t{kMaxImageSize} * 2 + kHeadSize + 16;
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
            if (at % kStride == 0 && at + kStride <= after.size() && std::memcmp(&before[at], &after[at], kStride) == 0)
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

// Without `id`: the journal of the version before (kOldMagic).
std::vector<std::uint8_t> make_journal(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                       const std::vector<Range>& ranges, std::optional<platform::FileId> id) {
    // The old bytes of every range, and digests that tell the images apart.
    std::vector<std::uint8_t> j;
    if (id) {
        j.assign(kMagic, kMagic + sizeof kMagic);
        put_le(j, id->device, 8);
        put_le(j, id->number, 8);
    } else {
        j.assign(kOldMagic, kOldMagic + sizeof kOldMagic);
    }
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

// The identity a journal records, read from its head alone (also of one
// cut short); nothing for a journal of the version before, or no journal.
std::optional<platform::FileId> recorded_id(std::span<const std::uint8_t> j) {
    if (j.size() < kIdSize || std::memcmp(j.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
    return platform::FileId{get_le(j, 8, 8), get_le(j, 16, 8)};
}

std::optional<Journal> parse_journal(std::span<const std::uint8_t> j) {
    const bool old = j.size() >= sizeof kOldMagic && std::memcmp(j.data(), kOldMagic, sizeof kOldMagic) == 0;
    const std::size_t head = old ? kOldHeadSize : kHeadSize;
    if (j.size() < head + kTailSize || (!old && std::memcmp(j.data(), kMagic, sizeof kMagic) != 0)) return std::nullopt;
    const std::size_t body = j.size() - kTailSize;
    if (get_le(j, body, 8) != journal_digest(j.first(body))) return std::nullopt;  // cut short or damaged
    Journal out;
    out.bytes = j;
    const std::size_t fields = head - 28;  // size, two digests, number of ranges
    out.image_size = get_le(j, fields, 8);
    out.before = get_le(j, fields + 8, 8);
    out.after = get_le(j, fields + 16, 8);
    const std::uint64_t n = get_le(j, fields + 24, 4);
    std::size_t at = head;
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

std::string folder_of(const std::string& path) {
    return fs::path(path).parent_path().string();
}

// A name in `folder` ("" for the current one), as a path.
std::string in_folder(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : (fs::path(folder) / name).string();
}

// Whether the file `image` has a name outside `folder` (a hard link in
// another folder), or its names there cannot be counted.
bool names_elsewhere(const platform::FileFacts& image, const std::string& folder) {
    if (image.links < 2) return false;
    std::uint64_t here = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::optional<platform::FileFacts> f =
            platform::name_facts(in_folder(folder, it->path().filename().string()));
        if (f && !f->link && f->id == image.id) ++here;
    }
    return ec || here < image.links;
}

enum class Written { Yes, NotMade, Failed };

// Writes the journal and flushes it and its folder entry to the disk.
// NotMade: something stood at its name (or the folder takes no file), and
// is left as it is; Failed: the journal made was not written whole.
Written write_journal(const std::string& path, std::span<const std::uint8_t> journal,
                      const platform::FileHandle& image) {
    // Made new, never through what stands at its name: one planted there
    // fails the save. No one the image keeps out reads its old bytes here.
    platform::FileHandle out = platform::create_new_like(path, image);
    if (!out.is_open()) return Written::NotMade;
    const bool ok = platform::write_at(out, 0, journal) && platform::sync(out);
    out.close();
    return ok && platform::sync_folder(folder_of(path)) ? Written::Yes : Written::Failed;
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
void recover(const ImageFile& file, const std::string& jpath, std::span<const std::uint8_t> raw) {
    const std::optional<Journal> journal = parse_journal(raw);
    if (!journal) {
        // Flushed before the image is touched: a journal cut short means an untouched image.
        console::notef("%s: a stopped run left it whole; %s removed.", file.path.c_str(), jpath.c_str());
        remove_journal(jpath);
        return;
    }
    std::optional<std::vector<std::uint8_t>> image = platform::read_all(file.handle, kMaxImageSize);
    if (!image) fatal("Can't read " + file.path);
    const std::uint64_t now = journal_digest(*image);
    if (image->size() != journal->image_size || now == journal->before || now == journal->after) {
        console::notef("%s: a stopped run left it whole; %s removed.", file.path.c_str(), jpath.c_str());
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
        console::notef("%s: %s is stale; the image is kept as it is.", file.path.c_str(), jpath.c_str());
        remove_journal(jpath);
        return;
    }
    if (!file.writable || !write_ranges(file.handle, *image, journal->ranges)) {
        console::notef("%s was left half-saved by a run that was stopped; it cannot be restored from %s.",
                       file.path.c_str(), jpath.c_str());
        fatal("Can't write " + file.path);
    }
    remove_journal(jpath);
    console::notef("%s: restored as it was before a run that was stopped while saving it.", file.path.c_str());
}

// What the journal at `jpath` is to the image.
struct Verdict {
    enum { Own, Foreign, Unreadable, Gone } kind = Gone;
    std::string why;                  // Foreign: "a link", "owned by uid N", ...
    std::vector<std::uint8_t> bytes;  // Own: the journal as read (empty when it is no journal)
};

// A journal is the image's own when it is a regular file (no link), owned
// by the image's owner, writable by no one else, and records the image's
// identity (or none: a journal of the version before, at the image's own
// name). It is read through the handle it was checked on.
Verdict judge(const platform::FileFacts& image, const std::string& jpath) {
    Verdict v;
    const auto is_link = [&jpath] {
        const std::optional<platform::FileFacts> named = platform::name_facts(jpath);
        return named && named->link;
    };
    const auto foreign = [&v](std::string why) {
        v.kind = Verdict::Foreign;
        v.why = std::move(why);
        return v;
    };
    if (is_link()) return foreign("a link");
    // Not even opened when it is a device, a pipe or a folder.
    if (const std::optional<platform::FileFacts> named = platform::name_facts(jpath); named && !named->regular)
        return foreign("no regular file");
    const platform::FileHandle in = platform::open_no_follow(jpath);
    const std::optional<platform::FileFacts> f = in.is_open() ? platform::facts(in) : std::nullopt;
    if (!f) {
        if (is_link()) return foreign("a link");  // put there since
        v.kind = platform::name_facts(jpath) ? Verdict::Unreadable : Verdict::Gone;
        return v;
    }
    if (!f->regular) return foreign("no regular file");
    if (f->owner && image.owner && *f->owner != *image.owner)
        return foreign("owned by uid " + std::to_string(*f->owner));
    if (f->mode && (*f->mode & 022) != 0) return foreign("writable by others");
    if (f->size <= kMaxJournal) {  // a larger one is no journal a save made
        std::optional<std::vector<std::uint8_t>> bytes = platform::read_all(in, kMaxJournal);
        if (!bytes) {
            v.kind = Verdict::Unreadable;
            return v;
        }
        v.bytes = std::move(*bytes);
    }
    if (const std::optional<platform::FileId> id = recorded_id(v.bytes); id && *id != image.id)
        return foreign("made for another file");
    v.kind = Verdict::Own;
    return v;
}

// Whether the file at `path` is a journal (a regular file, no link) whose
// head records `id`.
bool records(const std::string& path, const platform::FileId& id) {
    const std::optional<platform::FileFacts> named = platform::name_facts(path);
    if (!named || !named->regular) return false;  // a device is not even opened
    const platform::FileHandle in = platform::open_no_follow(path);
    const std::optional<platform::FileFacts> f = in.is_open() ? platform::facts(in) : std::nullopt;
    if (!f || !f->regular) return false;
    std::uint8_t head[kIdSize];
    const std::optional<std::size_t> got = platform::read_at(in, 0, head);
    return got && *got == sizeof head && recorded_id(head) == id;
}

// The journal of the image the handle holds: whatever stands at its own
// name (a link too), else, for an image with more than one name, a journal
// in its folder that records it (left by a run through another name).
std::optional<std::string> find_journal(const ImageFile& file) {
    const std::string own = journal_path(file.path);
    if (platform::name_facts(own)) return own;
    const std::optional<platform::FileFacts> image = platform::facts(file.handle);
    if (!image || image->links < 2) return std::nullopt;
    const std::string folder = folder_of(own);
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 8 && name.ends_with(".journal") && records(in_folder(folder, name), image->id))
            return in_folder(folder, name);
    }
    return std::nullopt;
}

// The journal found beside an image the run holds Exclusive, dealt with:
// false (said) when it is not the image's own, and the image is left alone.
bool deal_with_journal(const ImageFile& file, const std::string& jpath) {
    const std::optional<platform::FileFacts> image = platform::facts(file.handle);
    if (!image) fatal("Can't read " + file.path);
    Verdict v = judge(*image, jpath);
    switch (v.kind) {
    case Verdict::Gone: return true;
    case Verdict::Foreign:
        console::notef("%s is not this image's own (%s); nothing changed", jpath.c_str(), v.why.c_str());
        return false;
    case Verdict::Unreadable:
        console::notef("%s: can't read %s, left by a run that was stopped; nothing changed", file.path.c_str(),
                       jpath.c_str());
        return false;
    case Verdict::Own: break;
    }
    recover(file, jpath, v.bytes);
    return true;
}

enum class Waited { Taken, InUse, NoLock };

LockOutcome outcome_of(Waited w) {
    switch (w) {
    case Waited::Taken: return LockOutcome::Locked;
    case Waited::InUse: return LockOutcome::InUse;
    case Waited::NoLock: break;
    }
    return LockOutcome::NoLock;
}

// Takes the lock, waiting up to `deadline` and saying once that it waits;
// at once NoLock where the file system takes none.
Waited wait_for_lock(const ImageFile& file, platform::Lock lock, std::chrono::steady_clock::time_point deadline,
                     bool& said) {
    for (;;) {
        const platform::LockTry got = platform::try_lock(file.handle, lock);
        if (got == platform::LockTry::Taken) return Waited::Taken;
        if (got == platform::LockTry::Unsupported) return Waited::NoLock;
        if (std::chrono::steady_clock::now() >= deadline) return Waited::InUse;
        if (!said) {
            console::notef("%s is in use by another run; waiting for it to end (at most %lld seconds)",
                           file.path.c_str(),
                           static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kLockWait).count()));
            said = true;
        }
        std::this_thread::sleep_for(kPoll);
    }
}

}  // namespace

std::vector<std::uint8_t> journal_bytes(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after) {
    return make_journal(before, after, changed_ranges(before, after), std::nullopt);
}

std::vector<std::uint8_t> journal_bytes(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                        const platform::FileId& image) {
    return make_journal(before, after, changed_ranges(before, after), image);
}

std::uint64_t journal_digest(std::span<const std::uint8_t> data) {
    return digest64(data);
}

std::string journal_path(const std::string& image_path) {
    return resolve_links(image_path).value_or(image_path) + ".journal";
}

bool can_save(const std::string& image_path) {
    const std::string journal = journal_path(image_path);
    std::error_code ec;
    const fs::file_status there = fs::symlink_status(journal, ec);
    const std::optional<std::string> file = resolve_links(image_path);
    const std::optional<platform::FileFacts> image = file ? platform::name_facts(*file) : std::nullopt;
    return platform::folder_writable(folder_of(journal)) && (!fs::exists(there) || fs::is_regular_file(there)) &&
           !(image && names_elsewhere(*image, folder_of(journal)));
}

namespace {

// Opens the image and takes its lock. `lock` becomes Exclusive when a
// journal is there to deal with.
LockOutcome open_and_lock(const std::string& path, platform::Lock& lock, std::chrono::steady_clock::time_point deadline,
                          bool& said, ImageFile& file) {
    file.handle = platform::open_existing(path, true);
    file.writable = file.handle.is_open();
    if (!file.writable) file.handle = platform::open_existing(path, false);
    if (!file.handle.is_open()) return LockOutcome::NotFound;
    if (find_journal(file)) lock = platform::Lock::Exclusive;
    const Waited got = wait_for_lock(file, lock, deadline, said);
    if (got != Waited::Taken || lock == platform::Lock::Exclusive || !find_journal(file)) return outcome_of(got);
    // A save was stopped after this run looked: the restore needs the image alone.
    platform::unlock(file.handle);
    lock = platform::Lock::Exclusive;
    return outcome_of(wait_for_lock(file, lock, deadline, said));
}

}  // namespace

LockOutcome lock_image(const std::string& path, platform::Lock lock, std::chrono::milliseconds wait, ImageFile& file) {
    file.path = path;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool said = false;
    for (;;) {
        const LockOutcome got = open_and_lock(path, lock, deadline, said, file);
        if (got == LockOutcome::NoLock)
            console::notef("%s: this filesystem takes no lock; nothing changed", path.c_str());
        if (got != LockOutcome::Locked) return got;
        // A run that waited may find the name given to a new file meanwhile
        // (an image written whole and renamed into place): lock that one.
        if (platform::same_file(file.handle, path)) break;
        file.handle.close();
    }
    file.exclusive = lock == platform::Lock::Exclusive;
    if (file.exclusive)
        if (const std::optional<std::string> jpath = find_journal(file); jpath && !deal_with_journal(file, *jpath))
            return LockOutcome::Refused;
    return LockOutcome::Locked;
}

OpenedImage read_image(const ImageFile& file, bool keep_as_read) {
    OpenedImage opened;
    const std::optional<platform::FileFacts> f = platform::facts(file.handle);
    if (!f || !f->regular) return opened;
    if (f->size > kMaxImageSize) {
        opened.failure = OpenFailure::TooLarge;
        return opened;
    }
    std::optional<std::vector<std::uint8_t>> bytes = platform::read_all(file.handle, kMaxImageSize);
    if (!bytes) return opened;
    BiosImage image;
    image.path = file.path;
    image.read_only = !file.writable;
    image.bytes = std::move(*bytes);
    if (keep_as_read) image.on_disk = image.bytes;
    analyse_layout(image);
    opened.image = std::move(image);
    return opened;
}

void save_image(BiosImage& image, const ImageFile& file) {
    if (image.bytes == image.on_disk) return;
    if (!file.exclusive || !file.writable || image.bytes.size() != image.on_disk.size())
        fatal("Can't write " + image.path);
    const std::optional<platform::FileFacts> me = platform::facts(file.handle);
    if (!me) fatal("Can't write " + image.path);
    const std::string jpath = journal_path(file.path);
    // A run through that name would not find the journal: the save could be lost.
    if (names_elsewhere(*me, folder_of(jpath))) {
        console::notef("%s has a hard link in another folder; nothing changed", image.path.c_str());
        fatal("Can't write " + image.path);
    }
    const std::vector<Range> ranges = changed_ranges(image.on_disk, image.bytes);
    const Written written = write_journal(jpath, make_journal(image.on_disk, image.bytes, ranges, me->id), file.handle);
    if (written != Written::Yes) {
        // Only a journal this run made is removed: what stood at its name stays.
        std::error_code ec;
        if (written == Written::Failed) fs::remove(jpath, ec);
        console::notef("Can't write %s, the journal that keeps %s whole while it is saved", jpath.c_str(),
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

bool write_new_image(const std::string& path, std::span<const std::uint8_t> bytes) {
    ImageFile file;
    const LockOutcome got =
        file_exists(path) ? lock_image(path, platform::Lock::Exclusive, kLockWait, file) : LockOutcome::NotFound;
    if (got == LockOutcome::InUse) {
        console::notef("%s is in use by another run; nothing was written", path.c_str());
        return false;
    }
    if (got == LockOutcome::NoLock || got == LockOutcome::Refused) return false;  // said
    // Windows renames over no file that is open, this run's own handle
    // included: the lock is let go just before (a run that waits meanwhile
    // makes the rename fail, and nothing is written).
    if (platform::kWindows) file.handle.close();
    if (replace_file(path, bytes, AtName::Follow, Flush::ToDisk)) return true;
    console::notef("Can't write %s; nothing was written", path.c_str());
    return false;
}
