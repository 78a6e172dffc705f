// SANE devices presented as TWAIN data sources.
#include "acquire/sane_source.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <thread>

#include "platform/messages.h"
#include "platform/progress.h"

namespace acquire {

namespace {

// TWAIN states of an open source.
enum class State { Open = 4, Enabled = 5, Ready = 6, Transferring = 7 };

bool Contains(const char* text, const char* word) {
  const size_t n = std::strlen(word);
  for (const char* p = text; *p != '\0'; ++p)
    if (strncasecmp(p, word, n) == 0) return true;
  return false;
}

// The pixel type a mode's name stands for, or -1.
int PixelTypeOfMode(const char* mode) {
  if (Contains(mode, "lineart") || Contains(mode, "binary") || Contains(mode, "halftone") ||
      Contains(mode, "black"))
    return TWPT_BW;
  if (Contains(mode, "gray") || Contains(mode, "grey")) return TWPT_GRAY;
  if (Contains(mode, "color") || Contains(mode, "colour")) return TWPT_RGB;
  return -1;
}

TW_UINT16 ConditionOfStatus(SANE_Status status) {
  switch (status) {
    case SANE_STATUS_NO_MEM: return TWCC_LOWMEMORY;
    case SANE_STATUS_DEVICE_BUSY: return TWCC_MAXCONNECTIONS;
    default: return TWCC_OPERATIONERROR;
  }
}

class SaneSource final : public DataSource {
 public:
  SaneSource(SANE_Handle handle, std::string name, const ScanDialog& dialog)
      : handle_(handle), name_(std::move(name)), dialog_(dialog) {
    ReadModes();
  }
  ~SaneSource() override {
    Cancel();
    sane_close(handle_);
  }

  TW_UINT16 Entry(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) override;

 private:
  TW_UINT16 Fail(TW_UINT16 condition) {
    condition_ = condition;
    return TWRC_FAILURE;
  }
  // Shows SANE's reason and fails with an operation error.
  TW_UINT16 FailStatus(SANE_Status status) {
    Report(sane_strstatus(status));
    return Fail(ConditionOfStatus(status));
  }
  void Report(const std::string& text) const { platform::ShowMessage(name_ + ": " + text, "Scanner"); }

  TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* cap);
  TW_UINT16 ProcessEvent(TW_EVENT* event);
  TW_UINT16 ImageInfo(TW_IMAGEINFO* info);
  TW_UINT16 MemoryStrip(TW_IMAGEMEMXFER* xfer);
  TW_UINT16 EndTransfer(TW_PENDINGXFERS* pending, bool reset);
  // Many backends read the device on a thread that sane_cancel stops with an
  // asynchronous pthread_cancel. Stopped while it is still setting up (inside
  // malloc), it leaves the allocator locked and the next scan hangs in
  // sane_cancel. A scan abandoned right after it started is therefore
  // cancelled only once its reader has had a moment to start; one read to
  // its end has a reader that is done.
  static constexpr std::chrono::milliseconds kReaderSettle{50};
  SANE_Status StartDevice() {
    startedAt_ = std::chrono::steady_clock::now();
    readToEnd_ = false;
    return sane_start(handle_);
  }
  void Cancel() {
    if (scanning_) {
      if (!readToEnd_) std::this_thread::sleep_until(startedAt_ + kReaderSettle);
      sane_cancel(handle_);
    }
    scanning_ = false;
  }

  void ReadModes();
  // Option lookup and setting; the text in `error` when it fails.
  int FindOption(const char* name, const SANE_Option_Descriptor** descriptor) const;
  bool SetOptionText(const std::string& name, const std::string& value, std::string& error);
  bool SetOptionNumber(const char* name, double value, std::string& error);
  std::optional<double> GetOptionNumber(const char* name) const;
  bool OffersDepth(int depth) const;
  ScanLimits Limits() const;
  bool Preview(TW_UINT16 type, PreviewImage& image);
  // Applies the user's choices and starts the scan; false after telling why.
  bool Start(const ScanOptions& options);
  // Reads up to n bytes; returns the count (less only at the end of the
  // frame) or fails with the status.
  SANE_Status ReadBytes(uint8_t* target, size_t n, size_t& got);
  // Reads all three frames of a three-pass scan into frameImage_.
  SANE_Status ReadThreePass();
  // One SANE line into one TWAIN row.
  void ConvertRow(const uint8_t* in, uint8_t* out) const;

  SANE_Handle handle_;
  std::string name_;
  const ScanDialog& dialog_;
  State state_ = State::Open;
  TW_UINT16 condition_ = TWCC_SUCCESS;
  bool showUI_ = true;
  bool uiPending_ = false;
  bool scanning_ = false;
  std::chrono::steady_clock::time_point startedAt_{};
  bool readToEnd_ = false;  // the scan's data has all been read

  // Negotiated capabilities.
  int transferCount_ = -1;
  std::vector<TW_UINT16> offeredTypes_;  // in TWPT order
  std::vector<TW_UINT16> allowedTypes_;
  TW_UINT16 currentType_ = TWPT_GRAY;
  std::string modeFor_[3];  // mode name per pixel type
  bool bwByDepth_ = false;  // black-and-white is the gray mode at depth 1

  // The scan under way.
  SANE_Parameters params_{};
  TW_UINT16 pixelType_ = TWPT_GRAY;
  bool threePass_ = false;
  uint32_t outRowBytes_ = 0;
  int64_t rowsDone_ = 0;
  bool ended_ = false;  // the device said the image is complete
  double dpi_ = 0;
  std::vector<uint8_t> staging_;
  std::vector<uint8_t> frameImage_;  // three-pass: the interleaved RGB image
};

int SaneSource::FindOption(const char* name, const SANE_Option_Descriptor** descriptor) const {
  SANE_Int count = 0;
  if (sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) return -1;
  for (SANE_Int i = 1; i < count; ++i) {
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle_, i);
    if (d != nullptr && d->name != nullptr && std::strcmp(d->name, name) == 0) {
      *descriptor = d;
      return i;
    }
  }
  return -1;
}

void SaneSource::ReadModes() {
  const SANE_Option_Descriptor* mode = nullptr;
  const int index = FindOption(SANE_NAME_SCAN_MODE, &mode);
  std::string current;
  if (index > 0 && mode->type == SANE_TYPE_STRING && mode->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
    for (const SANE_String_Const* s = mode->constraint.string_list; *s != nullptr; ++s) {
      const int type = PixelTypeOfMode(*s);
      if (type >= 0 && modeFor_[type].empty()) modeFor_[type] = *s;
    }
    std::vector<char> value(static_cast<size_t>(std::max(mode->size, 1)) + 1, '\0');
    if (sane_control_option(handle_, index, SANE_ACTION_GET_VALUE, value.data(), nullptr) == SANE_STATUS_GOOD)
      current = value.data();
  }
  if (modeFor_[TWPT_BW].empty() && !modeFor_[TWPT_GRAY].empty() && OffersDepth(1)) bwByDepth_ = true;
  for (TW_UINT16 type : {TWPT_BW, TWPT_GRAY, TWPT_RGB})
    if (!modeFor_[type].empty() || (type == TWPT_BW && bwByDepth_)) offeredTypes_.push_back(type);
  if (offeredTypes_.empty()) {
    // No mode option: the one kind the device scans.
    SANE_Parameters p{};
    sane_get_parameters(handle_, &p);
    offeredTypes_.push_back(p.format == SANE_FRAME_GRAY ? (p.depth == 1 ? TWPT_BW : TWPT_GRAY) : TWPT_RGB);
  }
  allowedTypes_ = offeredTypes_;
  const int type = current.empty() ? -1 : PixelTypeOfMode(current.c_str());
  currentType_ = type >= 0 && std::count(offeredTypes_.begin(), offeredTypes_.end(), type) != 0
                     ? static_cast<TW_UINT16>(type)
                     : offeredTypes_.front();
}

bool SaneSource::OffersDepth(int depth) const {
  const SANE_Option_Descriptor* d = nullptr;
  if (FindOption(SANE_NAME_BIT_DEPTH, &d) <= 0 || d->type != SANE_TYPE_INT) return false;
  if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
    const SANE_Word* list = d->constraint.word_list;
    for (SANE_Word i = 1; i <= list[0]; ++i)
      if (list[i] == depth) return true;
    return false;
  }
  if (d->constraint_type == SANE_CONSTRAINT_RANGE)
    return depth >= d->constraint.range->min && depth <= d->constraint.range->max;
  return false;
}

bool SaneSource::SetOptionText(const std::string& name, const std::string& value, std::string& error) {
  const SANE_Option_Descriptor* d = nullptr;
  const int index = FindOption(name.c_str(), &d);
  if (index <= 0) {
    error = "no option \"" + name + "\"";
    return false;
  }
  if (!SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap)) {
    error = "option \"" + name + "\" cannot be set now";
    return false;
  }
  SANE_Status status = SANE_STATUS_INVAL;
  SANE_Int info = 0;
  switch (d->type) {
    case SANE_TYPE_BOOL: {
      SANE_Bool b;
      if (value == "yes" || value == "true" || value == "on" || value == "1")
        b = SANE_TRUE;
      else if (value == "no" || value == "false" || value == "off" || value == "0")
        b = SANE_FALSE;
      else
        break;
      status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, &b, &info);
      break;
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
      char* end = nullptr;
      const double number = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0') break;
      std::vector<SANE_Word> words(static_cast<size_t>(std::max<SANE_Int>(d->size, sizeof(SANE_Word))) /
                                   sizeof(SANE_Word));
      const SANE_Word word = d->type == SANE_TYPE_INT ? static_cast<SANE_Word>(std::lround(number)) : SANE_FIX(number);
      std::fill(words.begin(), words.end(), word);
      status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, words.data(), &info);
      break;
    }
    case SANE_TYPE_STRING: {
      std::vector<char> text(static_cast<size_t>(std::max<SANE_Int>(d->size, 1)), '\0');
      if (value.size() >= text.size()) break;
      std::memcpy(text.data(), value.data(), value.size());
      status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, text.data(), &info);
      break;
    }
    case SANE_TYPE_BUTTON: status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, nullptr, &info); break;
    default: break;
  }
  if (status != SANE_STATUS_GOOD) {
    error = "option \"" + name + "\" does not take \"" + value + "\" (" + sane_strstatus(status) + ")";
    return false;
  }
  return true;
}

bool SaneSource::SetOptionNumber(const char* name, double value, std::string& error) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.6f", value);
  std::string s = text;
  const SANE_Option_Descriptor* d = nullptr;
  if (FindOption(name, &d) > 0 && d->type == SANE_TYPE_INT) s = std::to_string(std::lround(value));
  return SetOptionText(name, s, error);
}

std::optional<double> SaneSource::GetOptionNumber(const char* name) const {
  const SANE_Option_Descriptor* d = nullptr;
  const int index = FindOption(name, &d);
  if (index <= 0 || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || !SANE_OPTION_IS_ACTIVE(d->cap))
    return std::nullopt;
  std::vector<SANE_Word> words(static_cast<size_t>(std::max<SANE_Int>(d->size, sizeof(SANE_Word))) /
                               sizeof(SANE_Word));
  if (sane_control_option(handle_, index, SANE_ACTION_GET_VALUE, words.data(), nullptr) != SANE_STATUS_GOOD)
    return std::nullopt;
  return d->type == SANE_TYPE_INT ? static_cast<double>(words[0]) : SANE_UNFIX(words[0]);
}

ScanLimits SaneSource::Limits() const {
  ScanLimits limits;
  const auto rangeMax = [this](const char* name) {
    const SANE_Option_Descriptor* d = nullptr;
    if (FindOption(name, &d) <= 0 || d->constraint_type != SANE_CONSTRAINT_RANGE) return 0.0;
    const SANE_Word max = d->constraint.range->max;
    return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(max) : static_cast<double>(max);
  };
  limits.bedWidth = rangeMax(SANE_NAME_SCAN_BR_X);
  limits.bedHeight = rangeMax(SANE_NAME_SCAN_BR_Y);
  const SANE_Option_Descriptor* d = nullptr;
  if (FindOption(SANE_NAME_SCAN_RESOLUTION, &d) > 0) {
    const auto value = [d](SANE_Word w) {
      return static_cast<int>(std::lround(d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : w));
    };
    if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
      limits.minDpi = std::max(1, value(d->constraint.range->min));
      limits.maxDpi = value(d->constraint.range->max);
    } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
      for (SANE_Word i = 1; i <= d->constraint.word_list[0]; ++i)
        if (value(d->constraint.word_list[i]) > 0) limits.dpiList.push_back(value(d->constraint.word_list[i]));
      std::sort(limits.dpiList.begin(), limits.dpiList.end());
      if (!limits.dpiList.empty()) {
        limits.minDpi = limits.dpiList.front();
        limits.maxDpi = limits.dpiList.back();
      }
    }
  }
  limits.dpi = static_cast<int>(std::lround(GetOptionNumber(SANE_NAME_SCAN_RESOLUTION).value_or(0)));
  const auto x0 = GetOptionNumber(SANE_NAME_SCAN_TL_X), y0 = GetOptionNumber(SANE_NAME_SCAN_TL_Y);
  const auto x1 = GetOptionNumber(SANE_NAME_SCAN_BR_X), y1 = GetOptionNumber(SANE_NAME_SCAN_BR_Y);
  if (x0 && y0 && x1 && y1 && *x1 > *x0 && *y1 > *y0) limits.area = ScanArea{*x0, *y0, *x1 - *x0, *y1 - *y0};
  return limits;
}

bool SaneSource::Preview(TW_UINT16 type, PreviewImage& image) {
  image = {};
  if (scanning_) return false;
  const ScanLimits limits = Limits();
  // About 400 pixels across the bed's longer side, within what the device offers.
  const double side = std::max(limits.bedWidth, limits.bedHeight);
  int dpi = side > 0 ? static_cast<int>(std::lround(400 * 25.4 / side)) : 75;
  if (!limits.dpiList.empty()) {
    const auto above = std::lower_bound(limits.dpiList.begin(), limits.dpiList.end(), dpi);
    dpi = above != limits.dpiList.end() ? *above : limits.dpiList.back();
  } else if (limits.maxDpi > 0) {
    dpi = std::clamp(dpi, limits.minDpi, limits.maxDpi);
  }
  // The dialog's choices, not the preview's, go to the scan: the device's
  // resolution and area are kept as they are stored and put back after.
  struct Saved {
    int index;
    std::vector<SANE_Word> words;
  };
  std::vector<Saved> saved;
  for (const char* name : {SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                           SANE_NAME_SCAN_BR_Y}) {
    const SANE_Option_Descriptor* d = nullptr;
    const int index = FindOption(name, &d);
    if (index <= 0 || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || !SANE_OPTION_IS_ACTIVE(d->cap))
      continue;
    Saved s{index, std::vector<SANE_Word>(std::max<size_t>(static_cast<size_t>(d->size) / sizeof(SANE_Word), 1))};
    if (sane_control_option(handle_, index, SANE_ACTION_GET_VALUE, s.words.data(), nullptr) == SANE_STATUS_GOOD)
      saved.push_back(std::move(s));
  }
  ScanOptions options;
  options.pixelType = type;
  options.dpi = dpi;
  if (limits.bedWidth > 0 && limits.bedHeight > 0) options.area = ScanArea{0, 0, limits.bedWidth, limits.bedHeight};

  bool ok = Start(options);
  if (ok && params_.lines < 0 && !threePass_) {
    Report("the scanner cannot show a preview of an unknown length");
    ok = false;
  }
  if (ok && threePass_) {
    const SANE_Status status = ReadThreePass();
    if (status != SANE_STATUS_GOOD) {
      if (status != SANE_STATUS_CANCELLED) Report(sane_strstatus(status));
      ok = false;
    }
  }
  if (ok) {
    const size_t width = static_cast<size_t>(params_.pixels_per_line);
    const size_t height = static_cast<size_t>(params_.lines);
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.channels = pixelType_ == TWPT_RGB ? 3 : 1;
    image.dpi = dpi_;
    image.pixels.assign(width * height * image.channels, 255);
    std::vector<uint8_t> line(static_cast<size_t>(params_.bytes_per_line)), row(outRowBytes_);
    for (size_t y = 0; ok && y < height; ++y) {
      uint8_t* out = image.pixels.data() + y * width * image.channels;
      if (threePass_) {
        std::memcpy(out, frameImage_.data() + y * 3 * width, 3 * width);
        continue;
      }
      size_t got = 0;
      const SANE_Status status = ReadBytes(line.data(), line.size(), got);
      if (status == SANE_STATUS_EOF) break;  // a short picture keeps its white rest
      if (status != SANE_STATUS_GOOD) {
        if (status != SANE_STATUS_CANCELLED) Report(sane_strstatus(status));
        ok = false;
        break;
      }
      ConvertRow(line.data(), row.data());
      if (pixelType_ == TWPT_BW) {  // bit 1 is white here
        for (size_t x = 0; x < width; ++x) out[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
      } else {
        std::memcpy(out, row.data(), width * image.channels);
      }
    }
    readToEnd_ = ok;
  }
  Cancel();
  frameImage_.clear();
  for (Saved& s : saved) sane_control_option(handle_, s.index, SANE_ACTION_SET_VALUE, s.words.data(), nullptr);
  if (!ok) image = {};
  return ok;
}

bool SaneSource::Start(const ScanOptions& options) {
  const TW_UINT16 type = options.pixelType.value_or(currentType_);
  if (std::count(allowedTypes_.begin(), allowedTypes_.end(), type) == 0) {
    static const char* const kNames[] = {"black-and-white", "gray", "colour", "palette"};
    Report(std::string("no ") + (type <= TWPT_PALETTE ? kNames[type] : "such") + " scan is offered");
    return false;
  }
  std::string error;
  bool ok = true;
  const bool byDepth = type == TWPT_BW && bwByDepth_;
  const std::string& mode = modeFor_[byDepth ? TWPT_GRAY : type];
  if (!mode.empty()) ok = SetOptionText(SANE_NAME_SCAN_MODE, mode, error);
  if (ok && (byDepth || (type != TWPT_BW && OffersDepth(8))))
    ok = SetOptionText(SANE_NAME_BIT_DEPTH, byDepth ? "1" : "8", error);
  for (size_t i = 0; ok && i < options.deviceOptions.size(); ++i)
    ok = SetOptionText(options.deviceOptions[i].first, options.deviceOptions[i].second, error);
  if (ok && options.dpi) ok = SetOptionNumber(SANE_NAME_SCAN_RESOLUTION, *options.dpi, error);
  if (ok && options.area) {
    const ScanArea& a = *options.area;
    ok = SetOptionNumber(SANE_NAME_SCAN_TL_X, a.x, error) && SetOptionNumber(SANE_NAME_SCAN_TL_Y, a.y, error) &&
         SetOptionNumber(SANE_NAME_SCAN_BR_X, a.x + a.width, error) &&
         SetOptionNumber(SANE_NAME_SCAN_BR_Y, a.y + a.height, error);
  }
  if (!ok) {
    Report(error);
    return false;
  }
  dpi_ = GetOptionNumber(SANE_NAME_SCAN_RESOLUTION).value_or(0);
  pixelType_ = type;

  const SANE_Status status = StartDevice();
  if (status != SANE_STATUS_GOOD) {
    std::this_thread::sleep_until(startedAt_ + kReaderSettle);
    sane_cancel(handle_);
    Report(sane_strstatus(status));
    return false;
  }
  scanning_ = true;
  if (sane_get_parameters(handle_, &params_) != SANE_STATUS_GOOD || params_.pixels_per_line <= 0 ||
      params_.bytes_per_line <= 0 || (params_.depth != 1 && params_.depth != 8 && params_.depth != 16)) {
    Cancel();
    Report("the scanner gives an image this program cannot read");
    return false;
  }
  threePass_ = params_.format == SANE_FRAME_RED || params_.format == SANE_FRAME_GREEN ||
               params_.format == SANE_FRAME_BLUE;
  // What arrives decides the pixel type (a device may scan other than asked).
  if (threePass_ || params_.format == SANE_FRAME_RGB)
    pixelType_ = TWPT_RGB;
  else
    pixelType_ = params_.depth == 1 ? TWPT_BW : TWPT_GRAY;
  const uint32_t ppl = static_cast<uint32_t>(params_.pixels_per_line);
  outRowBytes_ = pixelType_ == TWPT_BW ? (ppl + 7) / 8 : pixelType_ == TWPT_GRAY ? ppl : 3 * ppl;
  const uint64_t needed = params_.format == SANE_FRAME_RGB ? uint64_t{3} * ppl * params_.depth / 8
                                                            : (uint64_t{ppl} * params_.depth + 7) / 8;
  if (static_cast<uint64_t>(params_.bytes_per_line) < needed || (threePass_ && params_.lines < 0)) {
    Cancel();
    Report("the scanner gives an image this program cannot read");
    return false;
  }
  rowsDone_ = 0;
  ended_ = false;
  frameImage_.clear();
  return true;
}

SANE_Status SaneSource::ReadBytes(uint8_t* target, size_t n, size_t& got) {
  got = 0;
  while (got < n) {
    const size_t ask = std::min<size_t>(n - got, 1u << 30);
    SANE_Int len = 0;
    const SANE_Status status = sane_read(handle_, target + got, static_cast<SANE_Int>(ask), &len);
    if (status == SANE_STATUS_EOF) return SANE_STATUS_EOF;
    if (status != SANE_STATUS_GOOD) return status;
    got += static_cast<size_t>(std::max<SANE_Int>(len, 0));
  }
  return SANE_STATUS_GOOD;
}

SANE_Status SaneSource::ReadThreePass() {
  const size_t ppl = static_cast<size_t>(params_.pixels_per_line);
  const size_t lines = static_cast<size_t>(params_.lines);
  const int bytesPerSample = params_.depth == 16 ? 2 : 1;
  frameImage_.assign(3 * ppl * lines, 0);
  for (int frame = 0; frame < 3; ++frame) {
    if (frame > 0) {
      const SANE_Status started = StartDevice();
      if (started != SANE_STATUS_GOOD) return started;
      SANE_Parameters p{};
      if (sane_get_parameters(handle_, &p) != SANE_STATUS_GOOD || p.pixels_per_line != params_.pixels_per_line ||
          p.lines != params_.lines || p.depth != params_.depth || p.bytes_per_line != params_.bytes_per_line)
        return SANE_STATUS_INVAL;
      params_.format = p.format;
      params_.last_frame = p.last_frame;
    }
    const int channel = params_.format == SANE_FRAME_RED ? 0 : params_.format == SANE_FRAME_GREEN ? 1 : 2;
    staging_.resize(static_cast<size_t>(params_.bytes_per_line));
    for (size_t y = 0; y < lines; ++y) {
      size_t got = 0;
      const SANE_Status status = ReadBytes(staging_.data(), staging_.size(), got);
      if (status != SANE_STATUS_GOOD && status != SANE_STATUS_EOF) return status;
      uint8_t* out = frameImage_.data() + y * 3 * ppl + channel;
      // 16-bit samples in host order: their high byte.
      const uint8_t* in = staging_.data();
      if (bytesPerSample == 2) {
        for (size_t x = 0; x < ppl; ++x) {
          uint16_t v;
          std::memcpy(&v, in + 2 * x, 2);
          out[3 * x] = static_cast<uint8_t>(v >> 8);
        }
      } else {
        for (size_t x = 0; x < ppl; ++x) out[3 * x] = in[x];
      }
      if (status == SANE_STATUS_EOF) break;
    }
    // Finish the frame: the device reports its end.
    uint8_t rest[256];
    SANE_Int len = 0;
    while (sane_read(handle_, rest, sizeof(rest), &len) == SANE_STATUS_GOOD) {
    }
    if (params_.last_frame) break;
  }
  return SANE_STATUS_GOOD;
}

void SaneSource::ConvertRow(const uint8_t* in, uint8_t* out) const {
  const size_t ppl = static_cast<size_t>(params_.pixels_per_line);
  if (pixelType_ == TWPT_BW) {
    for (size_t i = 0; i < outRowBytes_; ++i) out[i] = static_cast<uint8_t>(~in[i]);
    return;
  }
  const size_t samples = pixelType_ == TWPT_GRAY ? ppl : 3 * ppl;
  if (params_.depth == 8) {
    std::memcpy(out, in, samples);
  } else if (params_.depth == 16) {
    for (size_t i = 0; i < samples; ++i) {
      uint16_t v;
      std::memcpy(&v, in + 2 * i, 2);
      out[i] = static_cast<uint8_t>(v >> 8);
    }
  } else {  // colour at 1 bit: one bit per channel, on = full
    for (size_t i = 0; i < samples; ++i) out[i] = (in[i / 8] >> (7 - i % 8)) & 1 ? 255 : 0;
  }
}

TW_UINT16 SaneSource::Capability(TW_UINT16 msg, TW_CAPABILITY* cap) {
  if (cap == nullptr) return Fail(TWCC_BADVALUE);
  const bool get = msg == MSG_GET || msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT;
  if (!get && msg != MSG_SET && msg != MSG_RESET) return Fail(TWCC_BADPROTOCOL);
  if (!get && state_ != State::Open) return Fail(TWCC_SEQERROR);
  switch (cap->Cap) {
    case CAP_XFERCOUNT:
      if (get) {
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = MakeOneValue(TWTY_INT16, static_cast<TW_UINT32>(static_cast<TW_INT16>(transferCount_)));
        return cap->hContainer ? TWRC_SUCCESS : Fail(TWCC_LOWMEMORY);
      }
      if (msg == MSG_RESET) {
        transferCount_ = -1;
        return TWRC_SUCCESS;
      }
      if (cap->ConType != TWON_ONEVALUE || cap->hContainer == nullptr) return Fail(TWCC_BADVALUE);
      {
        const auto count = static_cast<TW_INT16>(static_cast<const TW_ONEVALUE*>(cap->hContainer)->Item);
        if (count == 0 || count < -1) return Fail(TWCC_BADVALUE);
        transferCount_ = count;
      }
      return TWRC_SUCCESS;
    case ICAP_XFERMECH:
      if (get) {
        const TW_UINT32 memory = TWSX_MEMORY;
        cap->ConType = TWON_ENUMERATION;
        cap->hContainer = MakeEnumeration(TWTY_UINT16, &memory, 1, 0, 0);
        return cap->hContainer ? TWRC_SUCCESS : Fail(TWCC_LOWMEMORY);
      }
      if (msg == MSG_RESET) return TWRC_SUCCESS;
      if (cap->ConType != TWON_ONEVALUE || cap->hContainer == nullptr ||
          static_cast<const TW_ONEVALUE*>(cap->hContainer)->Item != TWSX_MEMORY)
        return Fail(TWCC_BADVALUE);
      return TWRC_SUCCESS;
    case ICAP_PIXELTYPE: {
      if (get) {
        std::vector<TW_UINT32> values(allowedTypes_.begin(), allowedTypes_.end());
        const auto current = std::find(allowedTypes_.begin(), allowedTypes_.end(), currentType_);
        cap->ConType = TWON_ENUMERATION;
        cap->hContainer = MakeEnumeration(TWTY_UINT16, values.data(), static_cast<TW_UINT32>(values.size()),
                                          static_cast<TW_UINT32>(current - allowedTypes_.begin()), 0);
        return cap->hContainer ? TWRC_SUCCESS : Fail(TWCC_LOWMEMORY);
      }
      if (msg == MSG_RESET) {
        allowedTypes_ = offeredTypes_;
        return TWRC_SUCCESS;
      }
      if (cap->hContainer == nullptr) return Fail(TWCC_BADVALUE);
      std::vector<TW_UINT16> wanted;
      TW_UINT16 current;
      if (cap->ConType == TWON_ONEVALUE) {
        current = static_cast<TW_UINT16>(static_cast<const TW_ONEVALUE*>(cap->hContainer)->Item);
        wanted.push_back(current);
      } else if (cap->ConType == TWON_ENUMERATION) {
        const auto* list = static_cast<const TW_ENUMERATION*>(cap->hContainer);
        if (ItemSize(list->ItemType) == 0 || list->NumItems == 0 || list->NumItems > 64 ||
            list->CurrentIndex >= list->NumItems)
          return Fail(TWCC_BADVALUE);
        for (TW_UINT32 i = 0; i < list->NumItems; ++i)
          wanted.push_back(static_cast<TW_UINT16>(EnumerationItem(*list, i)));
        current = wanted[list->CurrentIndex];
      } else {
        return Fail(TWCC_BADVALUE);
      }
      std::vector<TW_UINT16> kept;
      for (const TW_UINT16 type : offeredTypes_)
        if (std::count(wanted.begin(), wanted.end(), type) != 0) kept.push_back(type);
      if (kept.empty() || std::count(kept.begin(), kept.end(), current) == 0) return Fail(TWCC_BADVALUE);
      allowedTypes_ = kept;
      currentType_ = current;
      return TWRC_SUCCESS;
    }
    default: return Fail(TWCC_BADCAP);
  }
}

TW_UINT16 SaneSource::ProcessEvent(TW_EVENT* event) {
  if (event == nullptr) return Fail(TWCC_BADVALUE);
  event->TWMessage = MSG_NULL;
  if (state_ != State::Enabled || !uiPending_) return TWRC_NOTDSEVENT;
  uiPending_ = false;
  ScanOptions options;
  bool go = true;
  if (showUI_ && dialog_) {
    ScanRequest request;
    request.device = name_;
    request.allowedTypes = allowedTypes_;
    request.currentType = currentType_;
    request.limits = Limits();
    request.preview = [this](TW_UINT16 type, PreviewImage& image) { return Preview(type, image); };
    go = dialog_(request, options);
  }
  if (go && Start(options)) {
    state_ = State::Ready;
    event->TWMessage = MSG_XFERREADY;
  } else {
    event->TWMessage = MSG_CLOSEDSREQ;
  }
  return TWRC_DSEVENT;
}

TW_UINT16 SaneSource::ImageInfo(TW_IMAGEINFO* info) {
  if (info == nullptr) return Fail(TWCC_BADVALUE);
  if (state_ != State::Ready && state_ != State::Transferring) return Fail(TWCC_SEQERROR);
  *info = {};
  const auto whole = static_cast<TW_INT16>(std::clamp(dpi_, 0.0, 32767.0));
  info->XResolution = {whole, static_cast<TW_UINT16>((dpi_ - whole) * 65536.0)};
  info->YResolution = info->XResolution;
  info->ImageWidth = params_.pixels_per_line;
  info->ImageLength = params_.lines < 0 ? -1 : params_.lines;
  info->SamplesPerPixel = pixelType_ == TWPT_RGB ? 3 : 1;
  const TW_INT16 bits = pixelType_ == TWPT_BW ? 1 : 8;
  for (int i = 0; i < info->SamplesPerPixel; ++i) info->BitsPerSample[i] = bits;
  info->BitsPerPixel = static_cast<TW_INT16>(bits * info->SamplesPerPixel);
  info->Planar = 0;
  info->PixelType = static_cast<TW_INT16>(pixelType_);
  info->Compression = TWCP_NONE;
  return TWRC_SUCCESS;
}

TW_UINT16 SaneSource::MemoryStrip(TW_IMAGEMEMXFER* xfer) {
  if (xfer == nullptr) return Fail(TWCC_BADVALUE);
  if (state_ != State::Ready && state_ != State::Transferring) return Fail(TWCC_SEQERROR);
  if (xfer->Memory.TheMem == nullptr || (xfer->Memory.Flags & TWMF_POINTER) == 0 ||
      xfer->Memory.Length < outRowBytes_)
    return Fail(TWCC_BADVALUE);
  state_ = State::Transferring;
  if (threePass_ && frameImage_.empty()) {
    const SANE_Status status = ReadThreePass();
    if (status == SANE_STATUS_CANCELLED) return TWRC_CANCEL;
    if (status != SANE_STATUS_GOOD) return FailStatus(status);
  }

  const int64_t lines = params_.lines;
  int64_t rows = xfer->Memory.Length / outRowBytes_;
  if (lines >= 0) rows = std::min(rows, lines - rowsDone_);
  auto* out = static_cast<uint8_t*>(xfer->Memory.TheMem);
  int64_t delivered = 0;
  if (threePass_) {
    std::memcpy(out, frameImage_.data() + static_cast<size_t>(rowsDone_) * outRowBytes_,
                static_cast<size_t>(rows) * outRowBytes_);
    delivered = rows;
  } else if (!ended_ && rows > 0) {
    const size_t bpl = static_cast<size_t>(params_.bytes_per_line);
    const bool direct = bpl == outRowBytes_ && params_.depth == 8;
    uint8_t* target = out;
    if (!direct) {
      staging_.resize(static_cast<size_t>(rows) * bpl);
      target = staging_.data();
    }
    size_t got = 0;
    const SANE_Status status = ReadBytes(target, static_cast<size_t>(rows) * bpl, got);
    if (status == SANE_STATUS_CANCELLED) return TWRC_CANCEL;
    if (status != SANE_STATUS_GOOD && status != SANE_STATUS_EOF) return FailStatus(status);
    if (status == SANE_STATUS_EOF) ended_ = true;
    // A part row at the end of the frame is kept, its missing bytes zero.
    delivered = static_cast<int64_t>((got + bpl - 1) / bpl);
    if (got % bpl != 0) std::memset(target + got, 0, bpl - got % bpl);
    if (!direct)
      for (int64_t r = 0; r < delivered; ++r) ConvertRow(staging_.data() + r * bpl, out + r * outRowBytes_);
  }
  rowsDone_ += delivered;
  // Reports the scan's progress where the application has switched it on;
  // a cancel there stops the scanner.
  if (ProgressEnabled() && lines > 0 && ProgressStep(static_cast<int>(100 * rowsDone_ / lines)) == kProgressCancelled) {
    Cancel();
    return TWRC_CANCEL;
  }
  xfer->Compression = TWCP_NONE;
  xfer->BytesPerRow = outRowBytes_;
  xfer->Columns = static_cast<TW_UINT32>(params_.pixels_per_line);
  xfer->Rows = static_cast<TW_UINT32>(delivered);
  xfer->XOffset = 0;
  xfer->YOffset = static_cast<TW_UINT32>(rowsDone_ - delivered);
  xfer->BytesWritten = static_cast<TW_UINT32>(delivered * outRowBytes_);
  const bool done = ended_ || (lines >= 0 && rowsDone_ >= lines);
  readToEnd_ = done;
  return done ? TWRC_XFERDONE : TWRC_SUCCESS;
}

TW_UINT16 SaneSource::EndTransfer(TW_PENDINGXFERS* pending, bool reset) {
  if (pending == nullptr) return Fail(TWCC_BADVALUE);
  if (state_ != State::Ready && state_ != State::Transferring) return Fail(TWCC_SEQERROR);
  Cancel();
  frameImage_.clear();
  frameImage_.shrink_to_fit();
  staging_.clear();
  pending->Count = 0;
  (void)reset;
  state_ = State::Enabled;
  return TWRC_SUCCESS;
}

TW_UINT16 SaneSource::Entry(TW_IDENTITY* /*origin*/, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                            TW_MEMREF data) {
  if (dg == DG_CONTROL) {
    switch (dat) {
      case DAT_STATUS:
        if (msg != MSG_GET || data == nullptr) return Fail(TWCC_BADPROTOCOL);
        static_cast<TW_STATUS*>(data)->ConditionCode = condition_;
        static_cast<TW_STATUS*>(data)->Reserved = 0;
        condition_ = TWCC_SUCCESS;
        return TWRC_SUCCESS;
      case DAT_CAPABILITY: return Capability(msg, static_cast<TW_CAPABILITY*>(data));
      case DAT_USERINTERFACE:
        if (data == nullptr) return Fail(TWCC_BADVALUE);
        if (msg == MSG_ENABLEDS) {
          if (state_ != State::Open) return Fail(TWCC_SEQERROR);
          showUI_ = static_cast<TW_USERINTERFACE*>(data)->ShowUI != 0;
          uiPending_ = true;
          state_ = State::Enabled;
          return TWRC_SUCCESS;
        }
        if (msg == MSG_DISABLEDS) {
          if (state_ != State::Enabled) return Fail(TWCC_SEQERROR);
          uiPending_ = false;
          state_ = State::Open;
          return TWRC_SUCCESS;
        }
        return Fail(TWCC_BADPROTOCOL);
      case DAT_EVENT:
        if (msg != MSG_PROCESSEVENT) return Fail(TWCC_BADPROTOCOL);
        return ProcessEvent(static_cast<TW_EVENT*>(data));
      case DAT_SETUPMEMXFER: {
        if (msg != MSG_GET || data == nullptr) return Fail(TWCC_BADPROTOCOL);
        if (state_ != State::Ready) return Fail(TWCC_SEQERROR);
        auto* setup = static_cast<TW_SETUPMEMXFER*>(data);
        setup->MinBufSize = outRowBytes_;
        setup->MaxBufSize = 0xFFFFFFFF;
        // About 64 KiB of whole rows, at least one.
        setup->Preferred = std::max<uint32_t>(1, 65536 / std::max<uint32_t>(outRowBytes_, 1)) * outRowBytes_;
        return TWRC_SUCCESS;
      }
      case DAT_PENDINGXFERS:
        if (msg == MSG_ENDXFER) return EndTransfer(static_cast<TW_PENDINGXFERS*>(data), false);
        if (msg == MSG_RESET) return EndTransfer(static_cast<TW_PENDINGXFERS*>(data), true);
        if (msg == MSG_GET && data != nullptr) {
          static_cast<TW_PENDINGXFERS*>(data)->Count =
              state_ == State::Ready || state_ == State::Transferring ? 1 : 0;
          return TWRC_SUCCESS;
        }
        return Fail(TWCC_BADPROTOCOL);
      default: return Fail(TWCC_BADPROTOCOL);
    }
  }
  if (dg == DG_IMAGE) {
    switch (dat) {
      case DAT_IMAGEINFO:
        if (msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
        return ImageInfo(static_cast<TW_IMAGEINFO*>(data));
      case DAT_IMAGEMEMXFER:
        if (msg != MSG_GET) return Fail(TWCC_BADPROTOCOL);
        return MemoryStrip(static_cast<TW_IMAGEMEMXFER*>(data));
      case DAT_PALETTE8: {
        if ((msg != MSG_GET && msg != MSG_GETDEFAULT) || data == nullptr) return Fail(TWCC_BADPROTOCOL);
        if (pixelType_ != TWPT_GRAY) return Fail(TWCC_BADPROTOCOL);
        auto* palette = static_cast<TW_PALETTE8*>(data);
        palette->NumColors = 256;
        palette->PaletteType = TWPA_GRAY;
        for (int i = 0; i < 256; ++i) {
          const auto v = static_cast<TW_UINT8>(i);
          palette->Colors[i] = {v, v, v, v};
        }
        return TWRC_SUCCESS;
      }
      default: return Fail(TWCC_BADPROTOCOL);
    }
  }
  return Fail(TWCC_BADPROTOCOL);
}

class SaneDriver final : public SourceDriver {
 public:
  explicit SaneDriver(ScanDialog dialog) : dialog_(std::move(dialog)) {
    SANE_Int version = 0;
    initialised_ = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
  }
  ~SaneDriver() override {
    if (initialised_) sane_exit();
  }

  std::vector<TW_IDENTITY> List() override {
    if (!listed_ && initialised_) {
      listed_ = true;
      const SANE_Device** devices = nullptr;
      if (sane_get_devices(&devices, SANE_FALSE) == SANE_STATUS_GOOD && devices != nullptr) {
        for (const SANE_Device** d = devices; *d != nullptr; ++d) {
          TW_IDENTITY id{};
          id.Version.MajorNum = 1;
          id.Version.Language = TWLG_USA;
          id.Version.Country = TWCY_USA;
          CopyTwainString(id.Version.Info, (*d)->type);
          id.ProtocolMajor = 1;
          id.ProtocolMinor = 7;
          id.SupportedGroups = DG_CONTROL | DG_IMAGE;
          CopyTwainString(id.Manufacturer, (*d)->vendor);
          CopyTwainString(id.ProductFamily, (*d)->model);
          CopyTwainString(id.ProductName, (*d)->name);
          identities_.push_back(id);
          names_.emplace_back((*d)->name != nullptr ? (*d)->name : "");
        }
      }
    }
    return identities_;
  }

  std::unique_ptr<DataSource> Open(const TW_IDENTITY& identity, TW_UINT16& condition) override {
    List();
    std::string name = identity.ProductName;
    for (size_t i = 0; i < identities_.size(); ++i)
      if (std::strncmp(identities_[i].ProductName, identity.ProductName, sizeof(identity.ProductName)) == 0)
        name = names_[i];
    SANE_Handle handle = nullptr;
    const SANE_Status status = sane_open(name.c_str(), &handle);
    if (status != SANE_STATUS_GOOD) {
      platform::ShowMessage(name + ": " + sane_strstatus(status), "Scanner");
      condition = ConditionOfStatus(status);
      return nullptr;
    }
    return std::make_unique<SaneSource>(handle, name, dialog_);
  }

 private:
  ScanDialog dialog_;
  bool initialised_ = false;
  bool listed_ = false;
  std::vector<TW_IDENTITY> identities_;
  std::vector<std::string> names_;
};

}  // namespace

std::unique_ptr<SourceDriver> MakeSaneDriver(ScanDialog dialog) {
  return std::make_unique<SaneDriver>(std::move(dialog));
}

std::unique_ptr<SourceManager> MakeSaneManager(platform::Settings* settings, SourceChooser chooser,
                                               ScanDialog dialog) {
  return std::make_unique<SourceManager>(MakeSaneDriver(std::move(dialog)), settings, std::move(chooser));
}

}  // namespace acquire
