#include "print/spooler.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/atomic_file.h"
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

FileSpooler::~FileSpooler() = default;

bool FileSpooler::StartDocument(std::string_view) {
  file_ = std::make_unique<platform::AtomicFile>(path_);
  lastError_ = 0;
  if (!file_->Open()) {
    lastError_ = ErrnoNumber(errno);
    file_.reset();
    return false;
  }
  return true;
}

bool FileSpooler::StartPage() { return file_ != nullptr; }
bool FileSpooler::EndPage() { return file_ != nullptr; }

bool FileSpooler::EndDocument() {
  if (!file_) return false;
  const bool ok = file_->Commit();
  if (!ok) lastError_ = ErrnoNumber(errno);
  file_.reset();
  return ok;
}

void FileSpooler::AbortDocument() { file_.reset(); }

int FileSpooler::Write(const uint8_t* data, size_t size, size_t& written) {
  written = 0;
  if (!file_) return lastError_ = EBADF;
  if (!file_->Write(data, size)) return lastError_ = ErrnoNumber(errno);
  written = size;
  return 0;
}

std::string FileSpooler::LastErrorText() const { return lastError_ ? std::strerror(lastError_) : std::string(); }

bool MemorySpooler::StartDocument(std::string_view jobName) {
  lastErrorText_.clear();
  if (failStart_) {
    failStart_ = false;
    lastErrorText_ = "the document was refused (fault injection)";
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
    if (failAfter_ == 0) {
      lastErrorText_ = "error " + std::to_string(failError_) + " (fault injection)";
      return failError_;
    }
    if (take > failAfter_) take = failAfter_;
    failAfter_ -= take;
  }
  bytes_.insert(bytes_.end(), data, data + take);
  written = take;
  return 0;
}

std::string MemorySpooler::LastErrorText() const { return lastErrorText_; }

}  // namespace print
