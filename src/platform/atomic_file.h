// Files written whole or not at all.
//
// Every file the system writes (saved images, print files, PDFs, profile
// dumps, curve files) is first written under a temporary name beside its
// target and renamed over the target only once it is complete, so a failed,
// cancelled or interrupted write never leaves a half-written file and never
// damages the file it would have replaced.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// The permission bits a new file gets from the process's umask:
// 0666 & ~umask. The umask is read from /proc/self/status, so no other
// thread ever sees it changed; without /proc it is read by setting it
// and putting it back.
mode_t NewFileMode();

// One file being written. Open creates the temporary file
// "FOLDER/.NAME.XXXXXX" (NAME cut to keep the name within NAME_MAX, FOLDER
// that of the target) with permissions 0600 while it is written. Commit
// puts it in place: stream flushed, permissions set, data synced to disk,
// descriptor closed, renamed over the target, folder synced. Abort, or
// destruction before Commit, removes the temporary.
//
// A new file gets NewFileMode(). A file already at the target is handled as
// `existing` says (see Existing).
//
// Failures leave errno set by the call that failed (a write that takes
// nothing gives ENOSPC) and return false; a failed Commit removes the
// temporary. A file system that cannot sync (fsync answers EINVAL or
// EROFS) does not fail the write.
class AtomicFile {
 public:
  enum class Existing {
    // The new file gets NewFileMode(); something at the target, a symbolic
    // link included, is replaced.
    Replace,
    // The file a symbolic link at the target names is the one replaced
    // (the link stays), and a replaced file keeps its permission bits and,
    // where the process may set it, its owner and group.
    Keep,
  };

  explicit AtomicFile(std::string target, Existing existing = Existing::Replace);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file. False (errno set) when it cannot be made.
  bool Open();
  // The temporary file's name once Open succeeded; after a failed Open the
  // pattern it tried ("FOLDER/.NAME.XXXXXX"); empty after Commit or Abort.
  const std::string& TemporaryPath() const { return temporary_; }
  // The open temporary's descriptor, -1 when none.
  int Descriptor() const { return fd_; }
  // A stdio stream on the temporary (on a copy of the descriptor), made on
  // the first call and closed by Flush/Commit/Abort; null (errno set)
  // when the file is not open or the stream cannot be made.
  std::FILE* Stream();
  // Writes all `size` bytes at the current position, retrying interrupted
  // and short writes. Not to be mixed with writes through Stream().
  bool Write(const void* data, size_t size);
  // Flushes the stream and syncs the data to disk; the file stays open
  // under its temporary name (it may be read back by name).
  bool Flush();
  // Flush (unless done), permissions, close, rename over the target.
  bool Commit();
  // Removes the temporary; the target is left as it was.
  void Abort();

 private:
  bool CloseStream();
  bool Fail();

  std::string target_;
  Existing existing_;
  std::string destination_;  // the target, or the file a link there names (Keep)
  std::string temporary_;
  bool created_ = false;     // the temporary exists and is ours to remove
  int fd_ = -1;
  std::FILE* stream_ = nullptr;
  bool flushed_ = false;
  bool replacing_ = false;  // a regular file was at the target when opened
  mode_t replacedMode_ = 0;
  uid_t replacedOwner_ = 0;
  gid_t replacedGroup_ = 0;
};

}  // namespace platform
