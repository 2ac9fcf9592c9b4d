// The image file on the disk: the lock a run holds on it from opening to
// the end of its save, and the save itself, all or nothing through a
// rollback journal beside the image.
//
// The save first writes the journal "<image>.journal" (the bytes about to
// be overwritten, with digests) and flushes it to the disk, then writes the
// changed bytes into the image in place and flushes it, then removes the
// journal. Whatever stops the process or the machine, the image is then
// either as it was or as the run made it once the next run has opened it:
// a run that finds a journal beside its image restores the old bytes first
// and says so. In-place writes keep the file the user's: its mode, owner,
// links (symbolic and hard) and attributes stay as they are.
//
// Journal layout, little-endian:
//   0   8  "MZ32JRNL"
//   8   8  the image's size
//   16  8  digest of the image before the save
//   24  8  digest of the image the save makes
//   32  4  number of ranges N
//   36     N ranges: offset 4, length 4, the bytes the image held there
//   end 8  digest of everything before it (a journal cut short fails it)
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/platform.hpp"

struct BiosImage;

// How long a run waits for another run's lock on its image.
inline constexpr std::chrono::milliseconds kLockWait{60000};

struct ImageFile {
    std::string path;             // as the user named it
    platform::FileHandle handle;  // held open for the lock, and for the save
    bool writable = false;        // opened for writing
    bool exclusive = false;       // the lock excludes every other run
};

enum class LockOutcome { Locked, NotFound, InUse };

// Opens the image `path` and takes its lock: Shared for a run that only
// reads it, Exclusive for one that may change it. While another run holds
// a lock that excludes it, it says so once on the console channel and
// waits, for `wait` at most (InUse then). A journal left beside the image
// by a save that was stopped is then dealt with (the run takes the lock
// Exclusive for it): the image is restored as it was before that save, and
// the console channel says so. NotFound: no regular file could be opened
// (the caller says why). Fatal "Can't write %s" when a journal is there
// and the image cannot be restored.
LockOutcome lock_image(const std::string& path, platform::Lock lock, std::chrono::milliseconds wait,
                       ImageFile& file);

// The journal's path: beside the file the image's path leads to, so that
// a run through a symbolic link finds the journal of a run through the file.
std::string journal_path(const std::string& image_path);

// Whether a save could make its journal, as far as can be told without
// writing: the image's folder takes new files, and nothing that is no
// file stands at the journal's name.
bool can_save(const std::string& image_path);

// Writes the bytes of `image.bytes` that differ from `image.on_disk` into
// the file through the journal, flushed to the disk, and takes them as the
// new `on_disk`. Requires the Exclusive lock of `file`. Fatal "Can't write
// %s" when the file cannot be written; the image is then as it was, or
// restored so by the next run.
void save_image(BiosImage& image, const ImageFile& file);
// The same for a caller that holds no lock: takes it Exclusive for the save.
void save_image(BiosImage& image);

// The journal a save of `after` over `before` (images of one size) writes.
std::vector<std::uint8_t> journal_bytes(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after);

// The digest the journal keeps: 64 bits, for telling images and journals
// apart, not for security.
std::uint64_t journal_digest(std::span<const std::uint8_t> data);
