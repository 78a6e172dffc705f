#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace platform {
namespace {

// The umask as the kernel reports it ("Umask:\t0022"), or -1 without /proc.
int ReportedUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) != 0) continue;
    char* end = nullptr;
    const long mask = std::strtol(line.c_str() + 6, &end, 8);
    return end != line.c_str() + 6 && mask >= 0 && mask <= 0777 ? static_cast<int>(mask) : -1;
  }
  return -1;
}

// Flushes a folder's entries to disk; failures are of no consequence.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

mode_t NewFileMode() {
  int mask = ReportedUmask();
  if (mask < 0) {
    mask = static_cast<int>(umask(0));
    umask(static_cast<mode_t>(mask));
  }
  return 0666 & ~static_cast<mode_t>(mask);
}

AtomicFile::AtomicFile(std::string target, Existing existing) : target_(std::move(target)), existing_(existing) {}

AtomicFile::~AtomicFile() { Abort(); }

bool AtomicFile::Open() {
  Abort();
  std::filesystem::path destination(target_);
  replacing_ = false;
  if (existing_ == Existing::Keep) {
    struct stat link;
    if (lstat(target_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      if (char* resolved = realpath(target_.c_str(), nullptr)) {
        destination = resolved;
        std::free(resolved);
      }
    }
    struct stat old;
    if (stat(destination.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
      replacing_ = true;
      replacedMode_ = old.st_mode & 07777;
      replacedOwner_ = old.st_uid;
      replacedGroup_ = old.st_gid;
    }
  }
  destination_ = destination.string();
  const std::filesystem::path folder =
      destination.has_parent_path() ? destination.parent_path() : std::filesystem::path(".");
  // ".NAME.XXXXXX" stays within the file system's name limit.
  const std::string name = destination.filename().string().substr(0, NAME_MAX - 16);
  temporary_ = (folder / ("." + name + ".XXXXXX")).string();
  std::string created = temporary_;
  const int fd = mkostemp(created.data(), O_CLOEXEC);
  if (fd < 0) return false;
  temporary_ = std::move(created);
  fd_ = fd;
  created_ = true;
  flushed_ = false;
  return true;
}

std::FILE* AtomicFile::Stream() {
  if (stream_) return stream_;
  if (fd_ < 0) {
    errno = EBADF;
    return nullptr;
  }
  const int copy = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;
  stream_ = fdopen(copy, "wb");
  if (!stream_) {
    const int error = errno;
    close(copy);
    errno = error;
    return nullptr;
  }
  flushed_ = false;
  return stream_;
}

bool AtomicFile::Write(const void* data, size_t size) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  flushed_ = false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool AtomicFile::CloseStream() {
  if (!stream_) return true;
  bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
  const int error = errno;
  ok = std::fclose(stream_) == 0 && ok;
  stream_ = nullptr;
  if (!ok && error != 0) errno = error;
  return ok;
}

bool AtomicFile::Flush() {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  if (!CloseStream()) return false;
  if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) return false;
  flushed_ = true;
  return true;
}

bool AtomicFile::Commit() {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  if (!flushed_ && !Flush()) return Fail();
  if (replacing_) {
    // Ownership can be kept only with the rights to do so; the permission
    // bits are set afterwards because a change of owner may clear them.
    [[maybe_unused]] const int ignored = fchown(fd_, replacedOwner_, replacedGroup_);
  }
  if (fchmod(fd_, replacing_ ? replacedMode_ : NewFileMode()) != 0) return Fail();
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0 || rename(temporary_.c_str(), destination_.c_str()) != 0) return Fail();
  created_ = false;
  temporary_.clear();
  const std::filesystem::path destination(destination_);
  SyncFolder(destination.has_parent_path() ? destination.parent_path() : std::filesystem::path("."));
  return true;
}

bool AtomicFile::Fail() {
  const int error = errno;
  Abort();
  errno = error;
  return false;
}

void AtomicFile::Abort() {
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (created_) unlink(temporary_.c_str());
  created_ = false;
  temporary_.clear();
  flushed_ = false;
}

}  // namespace platform
