// The acquisition's side of the protocol against a scripted source: the
// negotiation, strip sizes, row order, palettes, every failure's message
// and the unwinding after it.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "acquire/acquisition.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

namespace acquire {
namespace {

struct Script {
  // What the source offers and sends.
  std::vector<TW_UINT32> pixelTypes{TWPT_RGB};
  bool pixelTypesAsOneValue = false;
  TW_SETUPMEMXFER setup{1, 0xFFFFFFFF, 0xFFFFFFFF};
  TW_INT32 width = 5, length = 7;
  TW_UINT16 pixelType = TWPT_RGB;
  TW_INT16 bits = 24;
  bool refusePalette = false;
  TW_UINT16 event = MSG_XFERREADY;
  TW_UINT16 stripReturn = TWRC_XFERDONE;  // how the last strip ends
  int idleEvents = 0;    // events answered TWRC_NOTDSEVENT before `event`
  int moreImages = 0;    // pending count after the first image, counted down
  bool selectWhenIdle = false;   // the pump runs SelectSource on the acquiring object
  // (DAT, MSG) -> condition code of a failure there.
  std::map<std::pair<TW_UINT16, TW_UINT16>, TW_UINT16> failAt;
  // What the application did.
  std::vector<std::pair<TW_UINT16, TW_UINT16>> calls;
  std::vector<TW_UINT32> stripLengths;
  std::vector<TW_UINT32> setTypes;
  TW_UINT32 setCurrent = 99;
  bool transferCountSet = false;
  bool enabled = false, open = false;
};

// Sample of row y, byte i of the row: distinct along both axes and from one
// image to the next.
uint8_t Sample(int y, int i, int image = 0) { return static_cast<uint8_t>(y * 31 + i * 7 + 1 + image * 101); }

class FakeSource final : public DataSource {
 public:
  explicit FakeSource(Script& s) : s_(s) { s_.open = true; }
  ~FakeSource() override { s_.open = false; }
  TW_UINT16 Entry(TW_IDENTITY*, TW_UINT32, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) override {
    s_.calls.emplace_back(dat, msg);
    if (dat == DAT_STATUS) {
      static_cast<TW_STATUS*>(data)->ConditionCode = condition_;
      return TWRC_SUCCESS;
    }
    if (const auto f = s_.failAt.find({dat, msg}); f != s_.failAt.end()) {
      condition_ = f->second;
      return TWRC_FAILURE;
    }
    switch (dat) {
      case DAT_CAPABILITY: return Capability(msg, static_cast<TW_CAPABILITY*>(data));
      case DAT_USERINTERFACE: s_.enabled = msg == MSG_ENABLEDS; return TWRC_SUCCESS;
      case DAT_EVENT:
        if (s_.idleEvents > 0) {
          --s_.idleEvents;
          static_cast<TW_EVENT*>(data)->TWMessage = MSG_NULL;
          return TWRC_NOTDSEVENT;
        }
        static_cast<TW_EVENT*>(data)->TWMessage = s_.event;
        return TWRC_DSEVENT;
      case DAT_IMAGEINFO: {
        auto* info = static_cast<TW_IMAGEINFO*>(data);
        info->ImageWidth = s_.width;
        info->ImageLength = s_.length;
        info->BitsPerPixel = s_.bits;
        info->PixelType = static_cast<TW_INT16>(s_.pixelType);
        return TWRC_SUCCESS;
      }
      case DAT_SETUPMEMXFER: *static_cast<TW_SETUPMEMXFER*>(data) = s_.setup; return TWRC_SUCCESS;
      case DAT_IMAGEMEMXFER: return Strip(static_cast<TW_IMAGEMEMXFER*>(data));
      case DAT_PENDINGXFERS:
        if (msg == MSG_RESET) s_.moreImages = 0;
        if (msg == MSG_ENDXFER && s_.moreImages > 0) {
          --s_.moreImages;
          ++image_;
          row_ = 0;
          static_cast<TW_PENDINGXFERS*>(data)->Count = static_cast<TW_UINT16>(s_.moreImages + 1);
          return TWRC_SUCCESS;
        }
        static_cast<TW_PENDINGXFERS*>(data)->Count = 0;
        return TWRC_SUCCESS;
      case DAT_PALETTE8: {
        if (s_.refusePalette) {
          condition_ = TWCC_BADPROTOCOL;
          return TWRC_FAILURE;
        }
        auto* palette = static_cast<TW_PALETTE8*>(data);
        palette->NumColors = 256;
        for (int i = 0; i < 256; ++i)
          palette->Colors[i] = {static_cast<TW_UINT8>(i), static_cast<TW_UINT8>(i), static_cast<TW_UINT8>(i), static_cast<TW_UINT8>(255 - i)};
        return TWRC_SUCCESS;
      }
      default: condition_ = TWCC_BADPROTOCOL; return TWRC_FAILURE;
    }
  }

 private:
  TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* cap) {
    if (msg == MSG_GET && cap->Cap == ICAP_PIXELTYPE) {
      if (s_.pixelTypesAsOneValue) {
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = MakeOneValue(TWTY_UINT16, s_.pixelTypes[0]);
      } else {
        cap->ConType = TWON_ENUMERATION;
        cap->hContainer = MakeEnumeration(TWTY_UINT16, s_.pixelTypes.data(),
                                          static_cast<TW_UINT32>(s_.pixelTypes.size()), 0, 0);
      }
      return TWRC_SUCCESS;
    }
    if (msg == MSG_SET && cap->Cap == ICAP_PIXELTYPE) {
      const auto* list = static_cast<const TW_ENUMERATION*>(cap->hContainer);
      EXPECT_EQ(cap->ConType, TWON_ENUMERATION);
      EXPECT_EQ(list->ItemType, TWTY_UINT16);
      EXPECT_EQ(list->DefaultIndex, 0xFFFFFFFFu);
      for (TW_UINT32 i = 0; i < list->NumItems; ++i) s_.setTypes.push_back(EnumerationItem(*list, i));
      s_.setCurrent = EnumerationItem(*list, list->CurrentIndex);
      return TWRC_SUCCESS;
    }
    if (msg == MSG_SET && cap->Cap == CAP_XFERCOUNT) {
      const auto* one = static_cast<const TW_ONEVALUE*>(cap->hContainer);
      EXPECT_EQ(one->ItemType, TWTY_INT16);
      EXPECT_EQ(one->Item, 1u);
      s_.transferCountSet = true;
    }
    return TWRC_SUCCESS;
  }

  TW_UINT16 Strip(TW_IMAGEMEMXFER* xfer) {
    s_.stripLengths.push_back(xfer->Memory.Length);
    EXPECT_EQ(xfer->Memory.Flags, TWMF_APPOWNS | TWMF_POINTER);
    const TW_UINT32 rowBytes = s_.pixelType == TWPT_RGB ? 3 * s_.width : s_.bits == 1 ? (s_.width + 7) / 8 : s_.width;
    const TW_UINT32 rows = std::min<TW_UINT32>(xfer->Memory.Length / rowBytes, s_.length - row_);
    auto* out = static_cast<uint8_t*>(xfer->Memory.TheMem);
    for (TW_UINT32 r = 0; r < rows; ++r)
      for (TW_UINT32 i = 0; i < rowBytes; ++i) out[r * rowBytes + i] = Sample(row_ + static_cast<int>(r), static_cast<int>(i), image_);
    xfer->BytesPerRow = rowBytes;
    xfer->Rows = rows;
    row_ += static_cast<int>(rows);
    if (row_ < s_.length) return TWRC_SUCCESS;
    if (s_.stripReturn == TWRC_FAILURE) condition_ = TWCC_LOWMEMORY;
    return s_.stripReturn;
  }

  Script& s_;
  TW_UINT16 condition_ = TWCC_SUCCESS;
  int row_ = 0;
  int image_ = 0;
};

class FakeDriver final : public SourceDriver {
 public:
  FakeDriver(Script& s, const char* name, TW_UINT16 openFailure) : s_(s), name_(name), openFailure_(openFailure) {}
  std::vector<TW_IDENTITY> List() override {
    TW_IDENTITY id{};
    CopyTwainString(id.ProductName, name_);
    return {id};
  }
  std::unique_ptr<DataSource> Open(const TW_IDENTITY&, TW_UINT16& condition) override {
    if (openFailure_ != TWCC_SUCCESS) {
      condition = openFailure_;
      return nullptr;
    }
    return std::make_unique<FakeSource>(s_);
  }

 private:
  Script& s_;
  const char* name_;
  TW_UINT16 openFailure_;
};

// A manager whose closing of the source or of itself fails with `condition`
// (the rest is the real manager's).
class FailingCloseManager final : public SourceManager {
 public:
  FailingCloseManager(std::unique_ptr<SourceDriver> driver, TW_UINT16 failing, TW_UINT16 condition, int* attempts)
      : SourceManager(std::move(driver), nullptr), failing_(failing), condition_(condition), attempts_(attempts) {}
  TW_UINT16 Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                  TW_MEMREF data) override {
    if (msg == failing_ && (dat == DAT_IDENTITY || dat == DAT_PARENT)) {
      ++*attempts_;
      failed_ = true;
      return TWRC_FAILURE;
    }
    if (dest == nullptr && dat == DAT_STATUS && failed_) {
      failed_ = false;
      static_cast<TW_STATUS*>(data)->ConditionCode = condition_;
      return TWRC_SUCCESS;
    }
    return SourceManager::Entry(origin, dest, dg, dat, msg, data);
  }

 private:
  TW_UINT16 failing_, condition_;
  int* attempts_;
  bool failed_ = false;
};

struct Outcome {
  int result = 0;
  std::vector<std::string> texts;
  std::vector<std::string> captions;
};

Outcome Acquire(Script& script, CDIBitmap& bitmap, const char* name = "Fake Source",
            TW_UINT16 openFailure = TWCC_SUCCESS, ManagerLoader loader = {}) {
  platform::RecordingMessageSink sink;
  Outcome run;
  {
    Acquisition acquisition(loader ? loader : [&] {
      return std::make_unique<SourceManager>(std::make_unique<FakeDriver>(script, name, openFailure), nullptr);
    });
    if (script.selectWhenIdle) acquisition.SetEventPump([&acquisition] { acquisition.SelectSource(); });
    ImageDescriptor descriptor;
    run.result = acquisition.Acquire(bitmap, descriptor);
  }  // the object's end unwinds too: its boxes count
  for (const auto& m : sink.shown) {
    run.texts.push_back(m.text);
    run.captions.push_back(m.caption);
  }
  return run;
}

TEST(AcquisitionNegotiation, PixelTypeChoiceKeepsKnownTypesAndPrefersRgbPaletteGrayBw) {
  struct Case {
    std::vector<TW_UINT32> offered;
    std::vector<TW_UINT32> set;
    TW_UINT32 current;
  } cases[] = {
      {{TWPT_BW, TWPT_GRAY}, {TWPT_BW, TWPT_GRAY}, TWPT_GRAY},
      {{TWPT_GRAY, TWPT_RGB, TWPT_BW}, {TWPT_GRAY, TWPT_RGB, TWPT_BW}, TWPT_RGB},
      {{TWPT_BW, 9, TWPT_PALETTE, TWPT_GRAY}, {TWPT_BW, TWPT_PALETTE, TWPT_GRAY}, TWPT_PALETTE},
      {{5, TWPT_BW}, {TWPT_BW}, TWPT_BW},
  };
  for (const Case& c : cases) {
    Script script;
    script.pixelTypes = c.offered;
    CDIBitmap bitmap;
    Acquire(script, bitmap);
    EXPECT_EQ(script.setTypes, c.set);
    EXPECT_EQ(script.setCurrent, c.current);
    EXPECT_TRUE(script.transferCountSet);
  }
}

TEST(AcquisitionNegotiation, OneValueAndUnknownTypesAndTheTransferCountException) {
  Script oneValue;
  oneValue.pixelTypesAsOneValue = true;
  oneValue.pixelTypes = {TWPT_RGB};
  CDIBitmap bitmap;
  EXPECT_EQ(Acquire(oneValue, bitmap).result, 1);
  EXPECT_TRUE(oneValue.setTypes.empty());  // accepted as it is

  Script noneKnown;
  noneKnown.pixelTypes = {7, 8};
  const Outcome refused = Acquire(noneKnown, bitmap);
  EXPECT_EQ(refused.result, 0);
  EXPECT_FALSE(noneKnown.open);

  Script canon;
  EXPECT_EQ(Acquire(canon, bitmap, "canon cj10 SCAN").result, 1);
  EXPECT_FALSE(canon.transferCountSet);
}

TEST(AcquisitionTransfer, StripSizeFollowsTheSourcesPreference) {
  struct Case {
    TW_SETUPMEMXFER setup;
    TW_UINT32 strip;
  } cases[] = {
      {{100, 0xFFFFFFFF, 0xFFFFFFFF}, 125000},
      {{1000, 0xFFFFFFFF, 200000}, 125000},
      {{150000, 0xFFFFFFFF, 200000}, 150000},
      {{100, 0xFFFFFFFF, 50000}, 50000},
      {{15, 0xFFFFFFFF, 45}, 45},  // three rows of 15 bytes a strip
  };
  for (const Case& c : cases) {
    Script script;
    script.setup = c.setup;
    CDIBitmap bitmap;
    ASSERT_EQ(Acquire(script, bitmap).result, 1);
    ASSERT_FALSE(script.stripLengths.empty());
    for (const TW_UINT32 length : script.stripLengths) EXPECT_EQ(length, c.strip);
  }
}

TEST(AcquisitionTransfer, RowsArriveTopFirstAndRgbIsStoredAsBgr) {
  Script script;
  script.setup = {15, 0xFFFFFFFF, 30};  // two rows a strip, seven rows: four strips
  CDIBitmap bitmap;
  ASSERT_EQ(Acquire(script, bitmap).result, 1);
  EXPECT_EQ(script.stripLengths.size(), 4u);
  ASSERT_EQ(bitmap.GetBitCount(), 24);
  for (int y = 0; y < script.length; ++y)
    for (int x = 0; x < script.width; ++x) {
      const uint8_t* p = bitmap.RowPointer(y) + 3 * x;
      EXPECT_EQ(p[2], Sample(y, 3 * x));  // red
      EXPECT_EQ(p[1], Sample(y, 3 * x + 1));
      EXPECT_EQ(p[0], Sample(y, 3 * x + 2));  // blue
    }
}

TEST(AcquisitionTransfer, GrayPaletteAndItsFallbackAndBlackAndWhite) {
  for (const bool refuse : {false, true}) {
    Script script;
    script.pixelTypes = {TWPT_GRAY};
    script.pixelType = TWPT_GRAY;
    script.bits = 8;
    script.refusePalette = refuse;
    CDIBitmap bitmap;
    ASSERT_EQ(Acquire(script, bitmap).result, 1);
    EXPECT_TRUE(bitmap.IsGray());
    uint8_t table[256 * 4];
    bitmap.GetColorTable(table, 256);
    for (int i : {0, 1, 128, 255}) {
      // Sent: channel 1 = i, channel 2 = i, channel 3 = 255 - i; the ramp is i, i, i.
      EXPECT_EQ(table[4 * i + 2], i);
      EXPECT_EQ(table[4 * i + 0], refuse ? i : 255 - i);
    }
    EXPECT_EQ(bitmap.RowPointer(2)[3], Sample(2, 3));
    // Both palette requests were made before the ramp was used.
    const auto count = std::count_if(script.calls.begin(), script.calls.end(),
                                     [](const auto& c) { return c.first == DAT_PALETTE8; });
    EXPECT_EQ(count, refuse ? 2 : 1);
  }
  Script bw;
  bw.pixelTypes = {TWPT_BW};
  bw.pixelType = TWPT_BW;
  bw.bits = 1;
  bw.width = 12;
  CDIBitmap bitmap;
  ASSERT_EQ(Acquire(bw, bitmap).result, 1);
  EXPECT_EQ(bitmap.GetBitCount(), 1);
  EXPECT_EQ(bitmap.GetPixelColor(0, 0) & 0xFFFFFF, 0u);  // Sample(0,0) = 1: bit 7 clear -> index 0 black
  EXPECT_EQ(bitmap.RowPointer(4)[1], Sample(4, 1));
}

TEST(AcquisitionFailures, EachStepReportsItsPrefixAndUnwinds) {
  const std::string unknown = "Failure due to unknown cause. Possibly no Source(s) found.";
  struct Case {
    std::pair<TW_UINT16, TW_UINT16> at;
    TW_UINT16 condition;
    std::string text;
  } cases[] = {
      {{DAT_CAPABILITY, MSG_SET}, TWCC_BADVALUE, "SetImageXferCount - Parameter out of range."},
      {{DAT_CAPABILITY, MSG_GET}, TWCC_BADCAP, "SetPixelTypes - Unknown capability requested."},
      {{DAT_USERINTERFACE, MSG_ENABLEDS}, TWCC_SEQERROR, "EnableDS - Twain message received out of sequence."},
      {{DAT_IMAGEINFO, MSG_GET}, TWCC_BADDEST, "TransferImage - Unknown destination App/Src in DSM_Entry"},
      {{DAT_IMAGEMEMXFER, MSG_GET}, TWCC_LOWMEMORY, "GetCompleteImage - Not enough memory to perform operation"},
      {{DAT_IMAGEMEMXFER, MSG_GET}, 77, "GetCompleteImage - " + unknown},
      {{DAT_IMAGEMEMXFER, MSG_GET}, TWCC_OPERATIONERROR, ""},  // the source told the user itself
  };
  for (const Case& c : cases) {
    Script script;
    script.failAt[c.at] = c.condition;
    CDIBitmap bitmap;
    const Outcome run = Acquire(script, bitmap);
    EXPECT_EQ(run.result, 0) << c.text;
    if (c.text.empty()) {
      EXPECT_TRUE(run.texts.empty());
    } else {
      ASSERT_EQ(run.texts.size(), 1u) << c.text;
      EXPECT_EQ(run.texts[0], c.text);
      EXPECT_EQ(run.captions[0], "TWAIN Error");
    }
    EXPECT_FALSE(script.enabled) << c.text;
    EXPECT_FALSE(script.open) << c.text;
    EXPECT_FALSE(bitmap.IsAllocated());
  }
}

TEST(AcquisitionFailures, ManagerSourceUnknownLengthCancelAndCloseRequest) {
  CDIBitmap bitmap;
  {
    platform::RecordingMessageSink sink;
    Acquisition noManager([] { return std::unique_ptr<SourceManager>(); });
    ImageDescriptor d;
    EXPECT_EQ(noManager.Acquire(bitmap, d), 0);
    ASSERT_EQ(sink.Texts().size(), 1u);
    EXPECT_EQ(sink.Texts()[0].rfind("OpenDSM - Sorry, could not find the TWAIN_32 Source Manager", 0), 0u);
  }
  Script busy;
  EXPECT_EQ(Acquire(busy, bitmap, "Fake", TWCC_MAXCONNECTIONS).texts,
            std::vector<std::string>{"OpenDS - TWAIN Source already in use."});

  Script handScanner;
  handScanner.length = -1;
  const Outcome unknown = Acquire(handScanner, bitmap);
  EXPECT_EQ(unknown.texts, std::vector<std::string>{"TransferImage - Software does not support unbuffered devices."});
  EXPECT_EQ(std::count(handScanner.calls.begin(), handScanner.calls.end(),
                       std::pair<TW_UINT16, TW_UINT16>{DAT_PENDINGXFERS, MSG_ENDXFER}),
            1);

  for (const TW_UINT16 ending : {TWRC_CANCEL}) {
    Script cancelled;
    cancelled.setup = {15, 0xFFFFFFFF, 30};
    cancelled.stripReturn = ending;
    const Outcome run = Acquire(cancelled, bitmap);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.texts.empty());
    EXPECT_FALSE(cancelled.open);
  }
  Script closed;
  closed.event = MSG_CLOSEDSREQ;
  const Outcome run = Acquire(closed, bitmap);
  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(run.texts.empty());
  EXPECT_FALSE(closed.open);
  EXPECT_FALSE(bitmap.IsAllocated());
}

TEST(AcquisitionFailures, ClosingFailuresAreReportedOnceAndTheLoopGivesUp) {
  const std::string sequence = "Twain message received out of sequence.";
  struct Case {
    const char* name;
    TW_UINT16 failing;  // the manager's closing message that fails, or 0
    std::pair<TW_UINT16, TW_UINT16> sourceFailure;  // the source's failing triplet, or {0, 0}
    std::vector<std::string> texts;
    int attempts;  // how often the failing close is tried
  } cases[] = {
      {"disable fails", 0, {DAT_USERINTERFACE, MSG_DISABLEDS}, {"DisableDS - " + sequence}, 0},
      // The manager cannot be closed while it holds the source: that is said once too.
      {"closing the source fails", MSG_CLOSEDS, {0, 0},
       {"CloseDS - Unknown destination App/Src in DSM_Entry", "CloseDSM - " + sequence}, 1},
      {"closing the manager fails", MSG_CLOSEDSM, {0, 0}, {"CloseDSM - Unknown destination App/Src in DSM_Entry"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Script script;
    if (c.sourceFailure.first != 0) script.failAt[c.sourceFailure] = TWCC_SEQERROR;
    int attempts = 0;
    ManagerLoader loader;
    if (c.failing != 0)
      loader = [&script, &attempts, failing = c.failing] {
        return std::make_unique<FailingCloseManager>(std::make_unique<FakeDriver>(script, "Fake", TWCC_SUCCESS),
                                                     failing, TWCC_BADDEST, &attempts);
      };
    CDIBitmap bitmap;
    const Outcome run = Acquire(script, bitmap, "Fake", TWCC_SUCCESS, loader);
    EXPECT_EQ(run.texts, c.texts);
    EXPECT_EQ(attempts, c.attempts);
    // The image had arrived before the closing went wrong: it is kept.
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(bitmap.IsAllocated());
    // Events stopped after the one transfer.
    EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(),
                         std::pair<TW_UINT16, TW_UINT16>{DAT_EVENT, MSG_PROCESSEVENT}),
              1);
    EXPECT_FALSE(script.open);  // freed with the manager when it could not be closed
  }
}

TEST(AcquisitionProtocol, SelectingWhileTheSourceIsOpenIsRefusedAndTheScanGoesOn) {
  Script script;
  script.idleEvents = 2;  // the window's pump runs twice before the transfer
  script.selectWhenIdle = true;
  CDIBitmap bitmap;
  const Outcome run = Acquire(script, bitmap);
  const std::string refused = "SelectDS - Source already open. Close it before selecting another.";
  EXPECT_EQ(run.texts, (std::vector<std::string>{refused, refused}));
  EXPECT_EQ(run.result, 1);
  ASSERT_EQ(bitmap.GetBitCount(), 24);
  EXPECT_EQ(bitmap.RowPointer(2)[3 + 2], Sample(2, 3));  // pixel 1's red
  EXPECT_FALSE(script.open);
}

TEST(AcquisitionProtocol, PendingImagesAreTransferredOrResetAfterACancel) {
  {
    Script script;
    script.moreImages = 2;
    CDIBitmap bitmap;
    const Outcome run = Acquire(script, bitmap);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.texts.empty());
    const auto ends = std::count(script.calls.begin(), script.calls.end(),
                                 std::pair<TW_UINT16, TW_UINT16>{DAT_PENDINGXFERS, MSG_ENDXFER});
    EXPECT_EQ(ends, 3);
    // One strip holds the whole 5 x 7 picture: one strip per image.
    EXPECT_EQ(script.stripLengths.size(), 3u);
    // Each image was received into the same buffer: the last one is kept.
    ASSERT_EQ(bitmap.GetBitCount(), 24);
    for (int y : {0, 6}) EXPECT_EQ(bitmap.RowPointer(y)[2], Sample(y, 0, 2));
  }
  {
    Script script;
    script.moreImages = 3;
    script.stripReturn = TWRC_CANCEL;
    CDIBitmap bitmap;
    const Outcome run = Acquire(script, bitmap);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.texts.empty());
    EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(),
                         std::pair<TW_UINT16, TW_UINT16>{DAT_PENDINGXFERS, MSG_RESET}),
              1);
    EXPECT_EQ(script.stripLengths.size(), 1u);  // none of the rest was asked for
    EXPECT_EQ(script.moreImages, 0);
    EXPECT_FALSE(bitmap.IsAllocated());
  }
}

}  // namespace
}  // namespace acquire
