#include "platform/settings.h"

#include <charconv>

namespace platform {
namespace {

// A whole decimal number in int range, as an INI file gives numbers back:
// an optional '-' and digits, nothing else.
std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

const MemorySettings::Value* MemorySettings::Find(std::string_view section, std::string_view key) const {
  const auto s = sections_.find(section);
  if (s == sections_.end()) return nullptr;
  const auto k = s->second.find(key);
  return k == s->second.end() ? nullptr : &k->second;
}

void MemorySettings::Store(std::string_view section, std::string_view key, Value value) {
  std::lock_guard lock(mutex_);
  auto s = sections_.find(section);
  if (s == sections_.end()) s = sections_.emplace(std::string(section), Section()).first;
  s->second.insert_or_assign(std::string(key), std::move(value));
}

int MemorySettings::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
  std::lock_guard lock(mutex_);
  const Value* value = Find(section, key);
  if (!value) return defaultValue;
  if (const int* number = std::get_if<int>(value)) return *number;
  if (const std::string* text = std::get_if<std::string>(value)) return ParseInt(*text).value_or(defaultValue);
  return defaultValue;
}

void MemorySettings::SetInt(std::string_view section, std::string_view key, int value) {
  Store(section, key, value);
}

std::string MemorySettings::GetString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue) const {
  std::lock_guard lock(mutex_);
  const Value* value = Find(section, key);
  if (!value) return std::string(defaultValue);
  if (const std::string* text = std::get_if<std::string>(value)) return *text;
  if (const int* number = std::get_if<int>(value)) return std::to_string(*number);
  return std::string(defaultValue);
}

void MemorySettings::SetString(std::string_view section, std::string_view key, std::string_view value) {
  Store(section, key, std::string(value));
}

std::optional<std::vector<uint8_t>> MemorySettings::GetBinary(std::string_view section, std::string_view key) const {
  std::lock_guard lock(mutex_);
  const Value* value = Find(section, key);
  if (const auto* bytes = value ? std::get_if<std::vector<uint8_t>>(value) : nullptr) return *bytes;
  return std::nullopt;
}

void MemorySettings::SetBinary(std::string_view section, std::string_view key, std::span<const uint8_t> value) {
  Store(section, key, std::vector<uint8_t>(value.begin(), value.end()));
}

bool MemorySettings::Remove(std::string_view section, std::string_view key) {
  std::lock_guard lock(mutex_);
  const auto s = sections_.find(section);
  if (s == sections_.end()) return false;
  const auto k = s->second.find(key);
  if (k == s->second.end()) return false;
  s->second.erase(k);
  if (s->second.empty()) sections_.erase(s);
  return true;
}

bool MemorySettings::HasKey(std::string_view section, std::string_view key) const {
  std::lock_guard lock(mutex_);
  return Find(section, key) != nullptr;
}

}  // namespace platform
