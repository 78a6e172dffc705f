// Containers and strings of the TWAIN protocol.
#include "acquire/twain.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace acquire {

size_t ItemSize(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    case TWTY_INT32:
    case TWTY_UINT32: return 4;
    default: return 0;
  }
}

TW_HANDLE AllocContainer(size_t bytes) { return std::calloc(1, bytes == 0 ? 1 : bytes); }

void FreeContainer(TW_HANDLE container) { std::free(container); }

TW_HANDLE MakeOneValue(TW_UINT16 itemType, TW_UINT32 value) {
  auto* one = static_cast<TW_ONEVALUE*>(AllocContainer(sizeof(TW_ONEVALUE)));
  if (one == nullptr) return nullptr;
  one->ItemType = itemType;
  one->Item = value;
  return one;
}

size_t EnumerationBytes(TW_UINT16 itemType, TW_UINT32 count) {
  return offsetof(TW_ENUMERATION, ItemList) + ItemSize(itemType) * count;
}

TW_HANDLE MakeEnumeration(TW_UINT16 itemType, const TW_UINT32* values, TW_UINT32 count, TW_UINT32 currentIndex,
                          TW_UINT32 defaultIndex) {
  const size_t itemSize = ItemSize(itemType);
  if (itemSize == 0) return nullptr;
  auto* list = static_cast<TW_ENUMERATION*>(AllocContainer(std::max(sizeof(TW_ENUMERATION),
                                                                    EnumerationBytes(itemType, count))));
  if (list == nullptr) return nullptr;
  list->ItemType = itemType;
  list->NumItems = count;
  list->CurrentIndex = currentIndex;
  list->DefaultIndex = defaultIndex;
  for (TW_UINT32 i = 0; i < count; ++i) {
    uint8_t* item = list->ItemList + i * itemSize;
    if (itemSize == 1) {
      *item = static_cast<uint8_t>(values[i]);
    } else if (itemSize == 2) {
      const auto v = static_cast<uint16_t>(values[i]);
      std::memcpy(item, &v, 2);
    } else {
      std::memcpy(item, &values[i], 4);
    }
  }
  return list;
}

TW_UINT32 EnumerationItem(const TW_ENUMERATION& enumeration, TW_UINT32 index) {
  const size_t itemSize = ItemSize(enumeration.ItemType);
  const uint8_t* item = enumeration.ItemList + index * itemSize;
  switch (enumeration.ItemType) {
    case TWTY_INT8: return static_cast<TW_UINT32>(static_cast<int32_t>(static_cast<int8_t>(*item)));
    case TWTY_UINT8: return *item;
    case TWTY_INT16: {
      int16_t v;
      std::memcpy(&v, item, 2);
      return static_cast<TW_UINT32>(static_cast<int32_t>(v));
    }
    case TWTY_UINT16:
    case TWTY_BOOL: {
      uint16_t v;
      std::memcpy(&v, item, 2);
      return v;
    }
    case TWTY_INT32:
    case TWTY_UINT32: {
      uint32_t v;
      std::memcpy(&v, item, 4);
      return v;
    }
    default: return 0;
  }
}

void CopyTwainString(char* target, size_t size, const char* text) {
  std::memset(target, 0, size);
  if (text == nullptr || size == 0) return;
  std::strncpy(target, text, size - 1);
}

}  // namespace acquire
