// Per-user settings: values kept by section and key, standing for the
// registry profile (the machine-wide key is one more section). The
// application's implementation keeps them in an INI file through QSettings;
// MemorySettings keeps them in memory for the command line and the tests.
//
// Each key holds one value of one kind (whole number, text or bytes); the
// last Set decides the kind. Reading a key that is absent, or whose value
// cannot be read as the asked kind, gives the default. Because an INI file
// keeps numbers as text, the kinds convert as such a file would: a text that
// is a whole decimal number in int range (optional '-', digits only) reads
// as that number, and a number reads as its decimal text. Bytes convert to
// nothing else and nothing else reads as bytes. Sections and keys are
// case-sensitive.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

class Settings {
 public:
  virtual ~Settings() = default;

  virtual int GetInt(std::string_view section, std::string_view key, int defaultValue) const = 0;
  virtual void SetInt(std::string_view section, std::string_view key, int value) = 0;

  virtual std::string GetString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const = 0;
  virtual void SetString(std::string_view section, std::string_view key, std::string_view value) = 0;

  // The stored bytes (possibly none); nullopt when the key is absent or holds
  // no bytes.
  virtual std::optional<std::vector<uint8_t>> GetBinary(std::string_view section, std::string_view key) const = 0;
  virtual void SetBinary(std::string_view section, std::string_view key, std::span<const uint8_t> value) = 0;

  // Deletes the key; false when there was none.
  virtual bool Remove(std::string_view section, std::string_view key) = 0;
  virtual bool HasKey(std::string_view section, std::string_view key) const = 0;
};

// Settings held in memory; nothing is stored anywhere. Safe to use from
// several threads (the print job thread reads settings too).
class MemorySettings final : public Settings {
 public:
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
  using Value = std::variant<int, std::string, std::vector<uint8_t>>;
  using Section = std::map<std::string, Value, std::less<>>;

  // The value of the key, or nullptr; the caller holds the lock.
  const Value* Find(std::string_view section, std::string_view key) const;
  void Store(std::string_view section, std::string_view key, Value value);

  mutable std::mutex mutex_;
  std::map<std::string, Section, std::less<>> sections_;
};

}  // namespace platform
