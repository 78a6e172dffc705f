// Clipboard: format registration and the open/empty/put/get protocol of the
// in-memory clipboard, including the refusals the callers' tests rely on.
#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes BlockOf(std::optional<std::span<const uint8_t>> data) {
  return data ? Bytes(data->begin(), data->end()) : Bytes{};
}

TEST(ClipboardRegistration, OneNumberPerNameInTheRegisteredRange) {
  const ClipboardFormat first = RegisterClipboardFormat("Clipboard Test Format One");
  const ClipboardFormat second = RegisterClipboardFormat("Clipboard Test Format Two");
  EXPECT_GE(first, kFirstRegisteredFormat);
  EXPECT_LE(first, kLastRegisteredFormat);
  EXPECT_GE(second, kFirstRegisteredFormat);
  EXPECT_NE(first, second);
  EXPECT_NE(first, kClipboardDIB);
  // The same name, in any ASCII case, gives the same number again.
  EXPECT_EQ(RegisterClipboardFormat("Clipboard Test Format One"), first);
  EXPECT_EQ(RegisterClipboardFormat("CLIPBOARD test format one"), first);
  EXPECT_EQ(GetClipboardFormatName(first), "Clipboard Test Format One");
  EXPECT_EQ(GetClipboardFormatName(kClipboardDIB), "");
  EXPECT_EQ(RegisterClipboardFormat(""), 0u);
}

TEST(MemoryClipboard, BlocksNeedTheClipboardOpen) {
  MemoryClipboard clipboard;
  EXPECT_FALSE(clipboard.Close());
  EXPECT_FALSE(clipboard.Empty());
  EXPECT_FALSE(clipboard.SetData(kClipboardDIB, {1, 2, 3}));
  EXPECT_FALSE(clipboard.IsFormatAvailable(kClipboardDIB));

  ASSERT_TRUE(clipboard.Open());
  EXPECT_FALSE(clipboard.Open()) << "a clipboard already open cannot be taken";
  ASSERT_TRUE(clipboard.SetData(kClipboardDIB, {1, 2, 3}));
  ASSERT_TRUE(clipboard.Close());

  // Availability is known while closed, the block only while open.
  EXPECT_TRUE(clipboard.IsFormatAvailable(kClipboardDIB));
  EXPECT_FALSE(clipboard.GetData(kClipboardDIB));
  EXPECT_EQ(clipboard.GetDataSize(kClipboardDIB), 0u);
  ASSERT_TRUE(clipboard.Open());
  EXPECT_EQ(BlockOf(clipboard.GetData(kClipboardDIB)), (Bytes{1, 2, 3}));
  EXPECT_EQ(clipboard.GetDataSize(kClipboardDIB), 3u);
  EXPECT_TRUE(clipboard.Close());
}

TEST(MemoryClipboard, SetReplacesOneFormatAndEmptyRemovesAll) {
  const ClipboardFormat named = RegisterClipboardFormat("Clipboard Test Replace");
  MemoryClipboard clipboard;
  ASSERT_TRUE(clipboard.Open());
  ASSERT_TRUE(clipboard.SetData(named, {9, 9}));
  ASSERT_TRUE(clipboard.SetData(kClipboardDIB, {1}));
  ASSERT_TRUE(clipboard.SetData(named, {7}));
  EXPECT_EQ(BlockOf(clipboard.GetData(named)), (Bytes{7}));
  EXPECT_EQ(clipboard.AvailableFormats(), (std::vector<ClipboardFormat>{kClipboardDIB, named}));
  EXPECT_FALSE(clipboard.GetData(named + 1));

  ASSERT_TRUE(clipboard.Empty());
  EXPECT_TRUE(clipboard.AvailableFormats().empty());
  EXPECT_FALSE(clipboard.GetData(named));
  EXPECT_TRUE(clipboard.Close());
}

TEST(MemoryClipboard, RefusalsLeaveTheClipboardAsItWas) {
  const ClipboardFormat named = RegisterClipboardFormat("Clipboard Test Refused");
  MemoryClipboard clipboard;
  ASSERT_TRUE(clipboard.Open());
  ASSERT_TRUE(clipboard.SetData(named, {5}));
  ASSERT_TRUE(clipboard.Close());

  clipboard.RefuseOpen(true);
  EXPECT_FALSE(clipboard.Open());
  EXPECT_FALSE(clipboard.IsOpen());
  clipboard.RefuseOpen(false);

  ASSERT_TRUE(clipboard.Open());
  clipboard.RefuseEmpty(true);
  EXPECT_FALSE(clipboard.Empty());
  EXPECT_TRUE(clipboard.IsFormatAvailable(named));

  clipboard.RefuseFormat(named);
  EXPECT_FALSE(clipboard.SetData(named, {6}));
  EXPECT_TRUE(clipboard.SetData(kClipboardDIB, {1})) << "only the refused format is refused";
  EXPECT_EQ(BlockOf(clipboard.GetData(named)), (Bytes{5}));
  clipboard.RefuseFormat(named, false);
  EXPECT_TRUE(clipboard.SetData(named, {6}));
  EXPECT_TRUE(clipboard.Close());
}

}  // namespace
}  // namespace platform
