#include "platform/clipboard.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex g_registryMutex;
// Registered names by number; the index is the number - kFirstRegisteredFormat.
std::vector<std::string> g_names;

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

MemoryClipboard& ProcessClipboard() {
  static MemoryClipboard clipboard;
  return clipboard;
}

Clipboard* g_clipboard = nullptr;

}  // namespace

ClipboardFormat RegisterClipboardFormat(std::string_view name) {
  if (name.empty()) return 0;
  std::lock_guard lock(g_registryMutex);
  for (size_t i = 0; i < g_names.size(); ++i)
    if (SameName(g_names[i], name)) return kFirstRegisteredFormat + static_cast<ClipboardFormat>(i);
  if (g_names.size() > kLastRegisteredFormat - kFirstRegisteredFormat) return 0;
  g_names.emplace_back(name);
  return kFirstRegisteredFormat + static_cast<ClipboardFormat>(g_names.size() - 1);
}

std::string GetClipboardFormatName(ClipboardFormat format) {
  std::lock_guard lock(g_registryMutex);
  if (format < kFirstRegisteredFormat || format - kFirstRegisteredFormat >= g_names.size()) return {};
  return g_names[format - kFirstRegisteredFormat];
}

// ---------------------------------------------------------------- memory

bool MemoryClipboard::Open() {
  if (open_ || refuseOpen_) return false;
  open_ = true;
  return true;
}

bool MemoryClipboard::Close() {
  if (!open_) return false;
  open_ = false;
  return true;
}

bool MemoryClipboard::Empty() {
  if (!open_ || refuseEmpty_) return false;
  blocks_.clear();
  return true;
}

bool MemoryClipboard::SetData(ClipboardFormat format, std::vector<uint8_t> block) {
  if (!open_ || format == 0 || refused_.contains(format)) return false;
  blocks_[format] = std::move(block);
  return true;
}

std::optional<std::span<const uint8_t>> MemoryClipboard::GetData(ClipboardFormat format) const {
  if (!open_) return std::nullopt;
  const auto found = blocks_.find(format);
  if (found == blocks_.end()) return std::nullopt;
  return std::span<const uint8_t>(found->second);
}

size_t MemoryClipboard::GetDataSize(ClipboardFormat format) const {
  if (!open_) return 0;
  const auto found = blocks_.find(format);
  return found == blocks_.end() ? 0 : found->second.size();
}

bool MemoryClipboard::IsFormatAvailable(ClipboardFormat format) const { return blocks_.contains(format); }

std::vector<ClipboardFormat> MemoryClipboard::AvailableFormats() const {
  std::vector<ClipboardFormat> formats;
  for (const auto& entry : blocks_) formats.push_back(entry.first);
  return formats;
}

void MemoryClipboard::RefuseFormat(ClipboardFormat format, bool refuse) {
  if (refuse)
    refused_.insert(format);
  else
    refused_.erase(format);
}

// ---------------------------------------------------------------- current

Clipboard& CurrentClipboard() { return g_clipboard ? *g_clipboard : ProcessClipboard(); }

Clipboard* SetClipboard(Clipboard* clipboard) { return std::exchange(g_clipboard, clipboard); }

}  // namespace platform
