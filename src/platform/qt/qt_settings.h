// Settings kept in an INI file through QSettings: by default the per-user
// file of organisation "Morvane", application "Vividrome"
// ($XDG_CONFIG_HOME/Morvane/Vividrome.ini, ~/.config when unset). A section
// is a group of the file, a key a key in it.
//
// The kinds follow settings.h: numbers are stored as decimal text, texts as
// text and bytes as QSettings' @ByteArray form, so that a text that is a
// whole decimal number in int range reads as that number, a number reads as
// its text, and bytes read only as bytes. Every change is written to the file
// at once, so nothing is lost when the program ends abnormally. One object
// may be used from several threads (calls are serialised).
//
// QSettings keeps '/' and '\' as group separators, so a section or key with
// those characters is stored under nested groups; it still reads back under
// the same name.
//
// This header stays free of Qt's headers.
#pragma once

#include <memory>
#include <string>

#include "platform/settings.h"

namespace platform {

class QtSettings final : public Settings {
 public:
  // The per-user file of "Morvane"/"Vividrome".
  QtSettings();
  // The INI file at `path`.
  explicit QtSettings(const std::string& path);
  ~QtSettings() override;
  QtSettings(const QtSettings&) = delete;
  QtSettings& operator=(const QtSettings&) = delete;

  // The file the settings are kept in.
  std::string FileName() const;

  int GetInt(std::string_view section, std::string_view key, int defaultValue) const override;
  void SetInt(std::string_view section, std::string_view key, int value) override;
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view defaultValue) const override;
  void SetString(std::string_view section, std::string_view key, std::string_view value) override;
  std::optional<std::vector<uint8_t>> GetBinary(std::string_view section, std::string_view key) const override;
  void SetBinary(std::string_view section, std::string_view key, std::span<const uint8_t> value) override;
  bool Remove(std::string_view section, std::string_view key) override;
  bool HasKey(std::string_view section, std::string_view key) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
