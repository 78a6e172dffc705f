// The clipboard: blocks of bytes kept under format numbers, shared by the
// copy, cut and paste commands of every document.
//
// A format is either the standard device-independent bitmap (kClipboardDIB,
// a packed DIB: information header, colour table, bottom-up rows) or a
// format registered by name (RegisterClipboardFormat). Registration gives
// one number per name for the life of the process; numbers start at
// kFirstRegisteredFormat, like the platform's own.
//
// Use follows the platform's protocol: Open, then Empty before putting new
// data, SetData for each format, Close. GetData and GetDataSize also need
// the clipboard open; IsFormatAvailable does not. Every caller that opened
// the clipboard closes it again.
//
// One Clipboard is current for the process, like the message sink. The
// application installs one over the desktop's clipboard (the private formats
// travel as MIME types "application/x-vividrome-data-a", "-b", "-c", and the
// bitmap is offered as "image/bmp" and read back from whatever image another
// program put there); without one a process-wide MemoryClipboard serves, so
// copy and paste work within one process. Tests use a MemoryClipboard of
// their own and make it refuse opening, emptying or given formats.
//
// Everything runs on the user-interface thread, except registration, which
// may be called from anywhere.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using ClipboardFormat = uint32_t;

// The standard device-independent bitmap.
inline constexpr ClipboardFormat kClipboardDIB = 8;
// Numbers given to registered names: kFirstRegisteredFormat upwards.
inline constexpr ClipboardFormat kFirstRegisteredFormat = 0xC000;
inline constexpr ClipboardFormat kLastRegisteredFormat = 0xFFFF;

// Registers `name` and returns its format number; a name registered before
// (compared without regard to ASCII case, as the platform does) gets the same
// number again. 0 for an empty name or when every number is taken.
ClipboardFormat RegisterClipboardFormat(std::string_view name);
// The name `format` was registered under; empty for the standard bitmap and
// for numbers never given out.
std::string GetClipboardFormatName(ClipboardFormat format);

class Clipboard {
 public:
  virtual ~Clipboard() = default;

  // Takes the clipboard; false when it cannot be had (it is already open).
  virtual bool Open() = 0;
  // Gives it back; false when it was not open.
  virtual bool Close() = 0;
  // Removes every block; false when refused or not open.
  virtual bool Empty() = 0;
  // Puts `block` under `format`, replacing what that format held; false
  // when refused or not open (the clipboard then keeps what it had).
  virtual bool SetData(ClipboardFormat format, std::vector<uint8_t> block) = 0;
  // The block of `format`; nullopt when there is none or the clipboard is
  // not open. The bytes stay valid until the clipboard is closed, emptied
  // or that format is set again.
  virtual std::optional<std::span<const uint8_t>> GetData(ClipboardFormat format) const = 0;
  // The size in bytes of the block of `format`; 0 when there is none or the
  // clipboard is not open.
  virtual size_t GetDataSize(ClipboardFormat format) const = 0;
  // Whether a block of `format` is on the clipboard; open or not.
  virtual bool IsFormatAvailable(ClipboardFormat format) const = 0;
  // The formats that hold a block, in ascending order; open or not.
  virtual std::vector<ClipboardFormat> AvailableFormats() const = 0;
};

// A clipboard in memory, for the command line and the tests. Besides the
// protocol it can be told to refuse, so that every failure path of its
// callers can be taken: refused opening, refused emptying, and refused
// SetData for chosen formats.
class MemoryClipboard final : public Clipboard {
 public:
  bool Open() override;
  bool Close() override;
  bool Empty() override;
  bool SetData(ClipboardFormat format, std::vector<uint8_t> block) override;
  std::optional<std::span<const uint8_t>> GetData(ClipboardFormat format) const override;
  size_t GetDataSize(ClipboardFormat format) const override;
  bool IsFormatAvailable(ClipboardFormat format) const override;
  std::vector<ClipboardFormat> AvailableFormats() const override;

  bool IsOpen() const { return open_; }
  void RefuseOpen(bool refuse) { refuseOpen_ = refuse; }
  void RefuseEmpty(bool refuse) { refuseEmpty_ = refuse; }
  // SetData of `format` fails while refused.
  void RefuseFormat(ClipboardFormat format, bool refuse = true);

 private:
  bool open_ = false;
  bool refuseOpen_ = false;
  bool refuseEmpty_ = false;
  std::set<ClipboardFormat> refused_;
  std::map<ClipboardFormat, std::vector<uint8_t>> blocks_;
};

// The current clipboard: the installed one, or a process-wide MemoryClipboard.
Clipboard& CurrentClipboard();
// Installs `clipboard` (nullptr restores the process-wide memory one) and
// returns the previously installed one (nullptr for the default).
Clipboard* SetClipboard(Clipboard* clipboard);

}  // namespace platform
