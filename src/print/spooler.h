// Byte sinks for print jobs.
//
// A printer stream writes its command bytes into a Spooler: a print job that
// is either a file ("Print to file"), a raw job on a CUPS queue, or memory
// (tests). Errors are reported as numbers so the streams can show them:
//   0       success;
//   61      the print queue is full: nothing more was taken, try again with
//           the rest of the data (kQueueFull);
//   others  final; the job cannot continue.
// Each spooler also tells its last failure in words (LastErrorText).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class AtomicFile;
}

namespace print {

// The spooler's "print queue is full, retry" answer.
inline constexpr int kQueueFull = 61;

// A job that cannot make progress any more because the user cancelled the
// print while the queue stayed full (see WriteAll).
inline constexpr int kWriteCancelled = 1223;

class Spooler {
 public:
  virtual ~Spooler() = default;
  virtual bool StartDocument(std::string_view jobName) = 0;   // false: cannot start
  virtual bool StartPage() = 0;
  virtual bool EndPage() = 0;
  virtual bool EndDocument() = 0;                              // the job is complete and delivered
  virtual void AbortDocument() = 0;                            // nothing of the job is delivered
  // Writes up to `size` bytes; returns 0 and sets `written`, or an error number
  // (61: the print queue is full, retry with the rest; others are final).
  virtual int Write(const uint8_t* data, size_t size, size_t& written) = 0;
  // The last failure in words, as the system gives it ("" when none).
  virtual std::string LastErrorText() const = 0;
};

// Writes all `size` bytes. A kQueueFull answer, or a write that took nothing,
// is repeated with the rest of the data: at once, or after 1 ms when
// `waitOnQueueFull` is set. The retries go on as long as the queue asks for
// them, but stop with kWriteCancelled once the print has been cancelled
// (platform::CancelCount() > 0), so a queue that stays full cannot hang a
// cancelled job. Any other error is returned as is. Returns 0 on success.
int WriteAll(Spooler& spooler, const uint8_t* data, size_t size, bool waitOnQueueFull);

// "Print to file": the job goes to a platform::AtomicFile, a temporary file
// beside `path` that replaces `path` on EndDocument with the permissions the
// umask gives. AbortDocument (and destruction of an unfinished job) removes
// the temporary file, so a failed or cancelled job never leaves a
// half-written file. Error numbers are the C errno values of the failing
// call, except that an errno equal to 61 (ENODATA, which would read as
// "queue full") is reported as EIO (5). A write outside a document gives
// EBADF (9). The error text is strerror of the number.
class FileSpooler final : public Spooler {
 public:
  explicit FileSpooler(std::string path);
  ~FileSpooler() override;
  FileSpooler(const FileSpooler&) = delete;
  FileSpooler& operator=(const FileSpooler&) = delete;

  bool StartDocument(std::string_view jobName) override;
  bool StartPage() override;
  bool EndPage() override;
  bool EndDocument() override;
  void AbortDocument() override;
  int Write(const uint8_t* data, size_t size, size_t& written) override;
  std::string LastErrorText() const override;

  // The errno-based number of the last failure (0 when none).
  int LastError() const { return lastError_; }

 private:
  std::string path_;
  std::unique_ptr<platform::AtomicFile> file_;  // the document being written
  int lastError_ = 0;
};

// A raw job on a CUPS queue through libcups (cupsCreateJob,
// cupsStartDocument with CUPS_FORMAT_RAW, cupsWriteRequestData,
// cupsFinishDocument) on the default server, which honours CUPS_SERVER
// (cupsServer()), over a connection of the spooler's own.
// Error numbers: the IPP status of the failing request (cupsLastError(),
// 0x0400 and above); when libcups reports no IPP error, 1280 (0x0500,
// "server-error-internal"). A write outside a document gives 1280 as well.
// AbortDocument drops the connection in the middle of the document (so it is
// never submitted) and cancels the job on the server (cupsCancelJob2).
class CupsSpooler final : public Spooler {
 public:
  explicit CupsSpooler(std::string queue);
  ~CupsSpooler() override;
  CupsSpooler(const CupsSpooler&) = delete;
  CupsSpooler& operator=(const CupsSpooler&) = delete;

  bool StartDocument(std::string_view jobName) override;
  bool StartPage() override;
  bool EndPage() override;
  bool EndDocument() override;
  void AbortDocument() override;
  int Write(const uint8_t* data, size_t size, size_t& written) override;

  // libcups' text for the last failure.
  std::string LastErrorText() const override;

  int JobId() const { return jobId_; }
  // The number of the last failure (0 when none).
  int LastError() const { return lastError_; }

 private:
  void RecordError();

  std::string queue_;
  struct _http_s* http_ = nullptr;
  int jobId_ = 0;
  bool documentOpen_ = false;
  int lastError_ = 0;
  std::string lastErrorText_;
};

// Keeps the job's bytes in memory, with fault injection for tests. The error
// text names the injected fault: "the document was refused (fault
// injection)" after FailStartDocument, "error N (fault injection)" after
// FailAfter's error N; StartDocument clears it.
class MemorySpooler final : public Spooler {
 public:
  bool StartDocument(std::string_view jobName) override;
  bool StartPage() override;
  bool EndPage() override;
  bool EndDocument() override;
  void AbortDocument() override;
  int Write(const uint8_t* data, size_t size, size_t& written) override;
  std::string LastErrorText() const override;

  // Answer kQueueFull (taking nothing) to the next `count` writes.
  void FailNextWritesQueueFull(int count) { queueFullWrites_ = count; }
  // Once `afterBytes` more bytes have been accepted, answer every further
  // write with `error` (a write straddling the limit takes the bytes up to
  // the limit and reports success for them).
  void FailAfter(size_t afterBytes, int error) {
    failAfter_ = afterBytes;
    failError_ = error;
    failArmed_ = true;
  }
  // Accept at most `maxBytes` per write (0: no limit).
  void LimitWriteSize(size_t maxBytes) { maxWrite_ = maxBytes; }
  // Make the next StartDocument fail.
  void FailStartDocument(bool fail = true) { failStart_ = fail; }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::string_view JobName() const { return jobName_; }
  int WriteCalls() const { return writeCalls_; }
  int Pages() const { return pages_; }
  bool Started() const { return started_; }
  bool Ended() const { return ended_; }
  bool Aborted() const { return aborted_; }

 private:
  std::vector<uint8_t> bytes_;
  std::string jobName_;
  int writeCalls_ = 0;
  int pages_ = 0;
  bool started_ = false;
  bool ended_ = false;
  bool aborted_ = false;
  int queueFullWrites_ = 0;
  bool failArmed_ = false;
  size_t failAfter_ = 0;
  int failError_ = 0;
  size_t maxWrite_ = 0;
  bool failStart_ = false;
  std::string lastErrorText_;
};

}  // namespace print
