#include <cups/cups.h>

#include <string>

#include "print/spooler.h"

namespace print {

namespace {

// The number reported when libcups fails without an IPP status of its own.
constexpr int kCupsInternalError = 0x0500;  // server-error-internal

// A connection of our own to the default server (CUPS_SERVER honoured), so an
// aborted job can drop its half-sent document without submitting it.
http_t* Connect() {
  return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                      30000, nullptr);
}

}  // namespace

CupsSpooler::CupsSpooler(std::string queue) : queue_(std::move(queue)) {}

CupsSpooler::~CupsSpooler() {
  if (jobId_ > 0) AbortDocument();
}

void CupsSpooler::RecordError() {
  int status = static_cast<int>(cupsLastError());
  lastError_ = status >= 0x0400 ? status : kCupsInternalError;
  const char* text = cupsLastErrorString();
  lastErrorText_ = text ? text : "";
}

bool CupsSpooler::StartDocument(std::string_view jobName) {
  if (jobId_ > 0) AbortDocument();
  lastError_ = 0;
  lastErrorText_.clear();
  std::string title(jobName);
  http_ = Connect();
  if (!http_) {
    RecordError();
    return false;
  }
  int id = cupsCreateJob(http_, queue_.c_str(), title.c_str(), 0, nullptr);
  if (id <= 0) {
    RecordError();
    httpClose(http_);
    http_ = nullptr;
    return false;
  }
  jobId_ = id;
  http_status_t status = cupsStartDocument(http_, queue_.c_str(), jobId_,
                                           title.c_str(), CUPS_FORMAT_RAW, 1);
  if (status != HTTP_STATUS_CONTINUE) {
    RecordError();
    AbortDocument();
    return false;
  }
  documentOpen_ = true;
  return true;
}

bool CupsSpooler::StartPage() { return documentOpen_; }
bool CupsSpooler::EndPage() { return documentOpen_; }

bool CupsSpooler::EndDocument() {
  if (!documentOpen_) return false;
  documentOpen_ = false;
  ipp_status_t status = cupsFinishDocument(http_, queue_.c_str());
  if (status > IPP_STATUS_OK_CONFLICTING) {
    RecordError();
    AbortDocument();
    return false;
  }
  httpClose(http_);
  http_ = nullptr;
  jobId_ = 0;  // delivered: no longer ours to cancel
  return true;
}

void CupsSpooler::AbortDocument() {
  // Closing the connection in the middle of the document drops it: the
  // server never sees a finished document. Then the job is cancelled over a
  // fresh connection.
  documentOpen_ = false;
  if (http_) {
    httpClose(http_);
    http_ = nullptr;
  }
  if (jobId_ > 0) {
    if (http_t* http = Connect()) {
      cupsCancelJob2(http, queue_.c_str(), jobId_, 0);
      httpClose(http);
    }
    jobId_ = 0;
  }
}

std::string CupsSpooler::LastErrorText() const { return lastError_ ? lastErrorText_ : std::string(); }

int CupsSpooler::Write(const uint8_t* data, size_t size, size_t& written) {
  written = 0;
  if (!documentOpen_) return lastError_ = kCupsInternalError;
  if (size == 0) return 0;
  http_status_t status =
      cupsWriteRequestData(http_, reinterpret_cast<const char*>(data), size);
  if (status != HTTP_STATUS_CONTINUE) {
    RecordError();
    return lastError_;
  }
  written = size;
  return 0;
}

}  // namespace print
