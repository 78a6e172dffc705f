#include "print/spooler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/progress.h"

namespace print {

int WriteAll(Spooler& spooler, const uint8_t* data, size_t size, bool waitOnQueueFull) {
  while (size > 0) {
    size_t written = 0;
    int error = spooler.Write(data, size, written);
    if (error != 0 && error != kQueueFull) return error;
    if (error == 0 && written > size) written = size;  // a sink claiming too much took it all
    if (error == 0 && written > 0) {
      data += written;
      size -= written;
      continue;
    }
    // Queue full (or nothing taken): try again with the rest, unless the
    // print was cancelled meanwhile.
    if (platform::CancelCount() > 0) return kWriteCancelled;
    if (waitOnQueueFull) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return 0;
}

namespace {

int ErrnoNumber(int error) {
  if (error == 0) return EIO;
  return error == kQueueFull ? EIO : error;
}

}  // namespace

FileSpooler::FileSpooler(std::string path) : path_(std::move(path)) {}

FileSpooler::~FileSpooler() {
  if (fd_ >= 0) AbortDocument();
}

bool FileSpooler::StartDocument(std::string_view) {
  if (fd_ >= 0) AbortDocument();
  lastError_ = 0;
  std::string pattern = path_ + ".partXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    lastError_ = ErrnoNumber(errno);
    return false;
  }
  // mkstemp creates the file for the owner only; a print file is readable
  // by others like any document the user saves.
  fchmod(fd, 0644);
  fd_ = fd;
  tempPath_ = name.data();
  return true;
}

bool FileSpooler::StartPage() { return fd_ >= 0; }
bool FileSpooler::EndPage() { return fd_ >= 0; }

bool FileSpooler::EndDocument() {
  if (fd_ < 0) return false;
  int fd = fd_;
  fd_ = -1;
  bool ok = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  if (!ok) lastError_ = ErrnoNumber(errno);
  if (close(fd) != 0 && ok) {
    ok = false;
    lastError_ = ErrnoNumber(errno);
  }
  if (ok && rename(tempPath_.c_str(), path_.c_str()) != 0) {
    ok = false;
    lastError_ = ErrnoNumber(errno);
  }
  if (!ok) unlink(tempPath_.c_str());
  tempPath_.clear();
  return ok;
}

void FileSpooler::AbortDocument() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

int FileSpooler::Write(const uint8_t* data, size_t size, size_t& written) {
  written = 0;
  if (fd_ < 0) return lastError_ = EBADF;
  while (true) {
    ssize_t n = ::write(fd_, data, size);
    if (n >= 0) {
      written = static_cast<size_t>(n);
      // A write that takes nothing with room asked for means the device is
      // full; report it rather than let the caller spin.
      if (n == 0 && size > 0) return lastError_ = ENOSPC;
      return 0;
    }
    if (errno == EINTR) continue;
    return lastError_ = ErrnoNumber(errno);
  }
}

bool MemorySpooler::StartDocument(std::string_view jobName) {
  if (failStart_) {
    failStart_ = false;
    return false;
  }
  jobName_ = jobName;
  bytes_.clear();
  started_ = true;
  ended_ = aborted_ = false;
  pages_ = 0;
  return true;
}

bool MemorySpooler::StartPage() {
  ++pages_;
  return started_;
}

bool MemorySpooler::EndPage() { return started_; }

bool MemorySpooler::EndDocument() {
  if (!started_ || aborted_) return false;
  ended_ = true;
  return true;
}

void MemorySpooler::AbortDocument() {
  aborted_ = true;
  bytes_.clear();
}

int MemorySpooler::Write(const uint8_t* data, size_t size, size_t& written) {
  ++writeCalls_;
  written = 0;
  if (queueFullWrites_ > 0) {
    --queueFullWrites_;
    return kQueueFull;
  }
  size_t take = size;
  if (maxWrite_ > 0 && take > maxWrite_) take = maxWrite_;
  if (failArmed_) {
    if (failAfter_ == 0) return failError_;
    if (take > failAfter_) take = failAfter_;
    failAfter_ -= take;
  }
  bytes_.insert(bytes_.end(), data, data + take);
  written = take;
  return 0;
}

}  // namespace print
