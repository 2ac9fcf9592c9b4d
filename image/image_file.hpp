// The image file on the disk: the lock a run holds on it from opening to
// the end of its save, and the save itself, all or nothing through a
// rollback journal beside the image.
//
// The save first writes the journal "<image>.journal" (the bytes about to
// be overwritten, with digests, and the identity of the image's file) and
// flushes it to the disk, then writes the changed bytes into the image in
// place and flushes it, then removes the journal. Whatever stops the
// process or the machine, the image is then either as it was or as the run
// made it once the next run has opened it: a run that finds its journal
// restores the old bytes first and says so. In-place writes keep the file
// the user's: its mode, owner, links (symbolic and hard) and attributes
// stay as they are.
//
// A journal belongs to the file, not to the name: "<image>.journal" is
// beside the file a symbolic link leads to, and a run through one hard
// link finds the journal a run through another name in the same folder
// left, by the identity it records. A journal is trusted only when it is
// the image's own (see lock_image); a save refuses an image with a hard
// link in another folder, where its journal would not be found.
//
// Journal layout, little-endian:
//   0   8  "MZ32JRN2"
//   8   8  the image's device (POSIX st_dev; Windows: the volume serial number)
//   16  8  the image's file number (POSIX st_ino; Windows: the file index)
//   24  8  the image's size
//   32  8  digest of the image before the save
//   40  8  digest of the image the save makes
//   48  4  number of ranges N
//   52     N ranges: offset 4, length 4, the bytes the image held there
//   end 8  digest of everything before it (a journal cut short fails it)
// The version before wrote "MZ32JRNL" without the identity (bytes 8 to 23):
// such a journal, left by a power cut before an update, is still restored
// when it stands at the image's own name and passes the checks on the file.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/platform.hpp"

#include "image/bios_image.hpp"

// How long a run waits for another run's lock on its image.
inline constexpr std::chrono::milliseconds kLockWait{60000};

struct ImageFile {
    std::string path;             // as the user named it
    platform::FileHandle handle;  // held open for the lock, and for the save
    bool writable = false;        // opened for writing
    bool exclusive = false;       // the lock excludes every other run
};

enum class LockOutcome { Locked, NotFound, InUse, NoLock, Refused };

// Opens the image `path` and takes its lock: Shared for a run that only
// reads it, Exclusive for one that may change it. While another run holds
// a lock that excludes it, it says so once on the console channel and
// waits, for `wait` at most (InUse then). A journal left beside the image
// by a save that was stopped is then dealt with (the run takes the lock
// Exclusive for it): the image is restored as it was before that save, and
// the console channel says so. NotFound: no regular file could be opened
// (the caller says why). Fatal "Can't write %s" when a journal is there
// and the image cannot be restored.
//
// NoLock: the file system takes no lock (flock fails with ENOLCK and the
// like), said at once: "%s: this filesystem takes no lock; nothing changed".
// Refused: a journal stands there that is not the image's own, and the
// image is left as it is: "J is not this image's own (why); nothing
// changed", why being "a link", "no regular file", "owned by uid N" (not
// the image's owner), "writable by others" (a group or other write bit) or
// "made for another file" (it records another file's identity); or the
// journal cannot be read. The journal is left in place.
LockOutcome lock_image(const std::string& path, platform::Lock lock, std::chrono::milliseconds wait, ImageFile& file);

// The image the lock of `file` holds, read through its handle (not opened
// again by name) as open_image reads it; read_only when it was not opened
// for writing.
OpenedImage read_image(const ImageFile& file, bool keep_as_read);

// The journal's path: beside the file the image's path leads to, so that
// a run through a symbolic link finds the journal of a run through the file.
std::string journal_path(const std::string& image_path);

// Whether a save could make its journal, as far as can be told without
// writing: the image's folder takes new files, nothing that is no file
// stands at the journal's name, and the image has no hard link in another
// folder.
bool can_save(const std::string& image_path);

// Writes the bytes of `image.bytes` that differ from `image.on_disk` into
// the file through the journal, flushed to the disk, and takes them as the
// new `on_disk`. Requires the Exclusive lock of `file`. Fatal "Can't write
// %s" when the file cannot be written; the image is then as it was, or
// restored so by the next run.
void save_image(BiosImage& image, const ImageFile& file);
// The same for a caller that holds no lock: takes it Exclusive for the save.
void save_image(BiosImage& image);

// A new image `path` written whole (/pack's NEW, out=NEW), through a
// temporary file and a rename flushed to the disk, under the writer's lock
// of a file that stands there; false, said, when it cannot be.
bool write_new_image(const std::string& path, std::span<const std::uint8_t> bytes);

// The journal a save of `after` over `before` (images of one size) into
// the file `image` writes; without `image`, the one the version before wrote.
std::vector<std::uint8_t> journal_bytes(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                        const platform::FileId& image);
std::vector<std::uint8_t> journal_bytes(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after);

// The digest the journal keeps: 64 bits, for telling images and journals
// apart, not for security.
std::uint64_t journal_digest(std::span<const std::uint8_t> data);
