// The document's life: new, open, save, save as, save copy as, revert.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "doc_test_images.h"
#include "document/format_dispatch.h"
#include "document/vivid_doc.h"
#include "platform/main_window.h"
#include "platform/messages.h"
#include "platform/prompts.h"
#include "test_support.h"

namespace {

using platform::MsgAnswer;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

constexpr char kOneBitFilter[] =
    "Compuserve PNG(*.png)|*.png|ZSoft PCX(*.pcx)|*.pcx|Tagged Image File(*.tif)|*.tif|"
    "Windows OS/2 Bitmap(*.bmp)|*.bmp||";

class DocumentTest : public testing::Test {
 protected:
  void SetUp() override { ResetProcessState(); }
  void TearDown() override { ResetProcessState(); }

  static void ResetProcessState() {
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(nullptr);
    CVividDoc::SetKeepSavedCopy(false);
    CVividDoc::SetScanBusy(false);
    CVividDoc::SetLastDirectory("");
    CVividDoc::SetRecentFileHandler(nullptr);
    for (CreationMode mode : {CM_ACQUIRE, CM_CAPTURE, CM_PASTE, CM_COMBINE})
      CVividDoc::SetNewDocumentSource(mode, nullptr);
  }

  // A BMP sample made by ImageMagick in the test folder.
  std::string Sample(const std::string& name, const std::string& arguments = "-size 13x7 gradient:yellow-navy -type Palette") {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(doc_test::MakeWithImageMagick(arguments, "BMP3:" + path));
    return path;
  }

  // Opens `path` into document, keeping its messages away from stderr.
  static void Open(CVividDoc& document, const std::string& path) {
    platform::RecordingMessageSink quiet;
    ASSERT_TRUE(document.OnOpenDocument(path)) << path;
  }

  // An edit as the editing layer would make it.
  static void Edit(CVividDoc& document) {
    document.GetImage().SetPixelColor(0, 0, 0x123456);
    document.SetModifiedFlag(true);
    document.SetUndoCount(0, 3);
    document.SetUndoCount(1, 2);
    document.SetUndoCount(2, 1);
  }

  static void ExpectUndoCountsZero(const CVividDoc& document) {
    EXPECT_EQ(document.GetUndoCount(0) | document.GetUndoCount(1) | document.GetUndoCount(2), 0);
  }

  TempDir dir_;
  platform::ScriptedPrompts prompts_;
  platform::RecordingMessageSink messages_;
};

class RecordingView final : public CDocumentView {
 public:
  void OnDocumentUpdate(CVividDoc&, int hint) override { hints.push_back(hint); }
  std::vector<int> hints;
};

// --- new documents ---

TEST_F(DocumentTest, NewBlankDocumentIsA100By100WhiteRGBImage) {
  CVividDoc document;
  ASSERT_TRUE(document.OnNewDocument());
  const CDIBitmap& image = document.GetImage();
  ASSERT_EQ(image.GetWidth(), 100);
  ASSERT_EQ(image.GetHeight(), 100);
  EXPECT_EQ(image.GetBitCount(), 24);
  EXPECT_EQ(doc_test::BitmapRGB(image), std::vector<uint8_t>(100 * 100 * 3, 0xFF));
  EXPECT_FALSE(document.IsModified());
  EXPECT_FALSE(document.HasFile());
  EXPECT_FALSE(document.GetPalette().has_value());
  EXPECT_EQ(document.GetTargetImage(), &document.GetImage());
}

TEST_F(DocumentTest, NewDocumentTakesOverThePreparedImage) {
  for (CreationMode mode : {CM_BLANK, CM_TAKE_IMAGE}) {
    auto prepared = std::make_unique<CDIBitmap>();
    ASSERT_TRUE(prepared->Create(20, 10, 8, 1));
    const CDIBitmap* address = prepared.get();
    CVividDoc::SetPreparedImage(std::move(prepared));
    CVividDoc::SetCreationMode(mode);
    CVividDoc document;
    ASSERT_TRUE(document.OnNewDocument());
    EXPECT_EQ(document.GetTargetImage(), address) << mode;
    EXPECT_TRUE(document.IsModified());
    EXPECT_FALSE(CVividDoc::HasPreparedImage());
    EXPECT_EQ(document.GetPalette().value_or(platform::Palette()).Size(), 256);
  }
}

TEST_F(DocumentTest, NewDocumentFromASourceNeedsTheSourceRegistered) {
  // CM_PASTE has a built-in source, the clipboard (tests below).
  for (CreationMode mode : {CM_ACQUIRE, CM_CAPTURE, CM_COMBINE, CM_TAKE_IMAGE}) {
    SCOPED_TRACE(mode);
    CVividDoc::SetCreationMode(mode);
    platform::RecordingMessageSink sink;
    CVividDoc document;
    EXPECT_FALSE(document.OnNewDocument());
    ASSERT_EQ(sink.shown.size(), 1u);
    if (mode == CM_ACQUIRE) {
      EXPECT_EQ(sink.shown[0].text, "Scanning is not available in this build");
    }
    EXPECT_FALSE(document.GetImage().IsAllocated());
  }
  CVividDoc::SetNewDocumentSource(CM_ACQUIRE, [](CVividDoc& document) {
    return document.GetImage().Create(30, 20, 24, 0) != 0;
  });
  CVividDoc::SetCreationMode(CM_ACQUIRE);
  CVividDoc document;
  ASSERT_TRUE(document.OnNewDocument());
  EXPECT_EQ(document.GetImage().GetWidth(), 30);
  EXPECT_TRUE(document.IsModified());
}

// --- open ---

TEST_F(DocumentTest, OpenReadsTheFileAndNamesTheDocument) {
  const std::string path = Sample("pic.bmp");
  std::vector<std::string> recent;
  CVividDoc::SetRecentFileHandler([&](const std::string& p) { recent.push_back(p); });
  platform::RecordingMainWindow window;
  CVividDoc document;
  ASSERT_TRUE(document.OnOpenDocument(path));
  EXPECT_EQ(window.events,
            (std::vector<std::string>{"repaint", "status Loading File, wait...", "wait 1", "wait 0"}));
  EXPECT_EQ(document.GetPathName(), path);
  EXPECT_EQ(document.GetTitle(), "pic.bmp");
  EXPECT_EQ(recent, std::vector<std::string>{path});
  EXPECT_FALSE(document.IsModified());
  EXPECT_TRUE(document.HasFile());
  EXPECT_EQ(document.GetImage().GetXResolution(), 72);
  EXPECT_EQ(document.GetImage().GetYResolution(), 72);
  EXPECT_EQ(doc_test::BitmapRGB(document.GetImage()), doc_test::DecodeRGB(path));
  ASSERT_TRUE(document.GetPalette().has_value());
  EXPECT_EQ(document.GetPalette()->Size(), document.GetImage().GetPaletteSize());
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(DocumentTest, FailedOpenLeavesTheDocumentAsItWas) {
  const std::string junk = dir_.File("junk.bmp");
  WriteBytes(junk, {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
  CVividDoc document;
  ASSERT_TRUE(document.OnNewDocument());
  const std::vector<uint8_t> before = doc_test::BitmapRGB(document.GetImage());
  EXPECT_FALSE(document.OnOpenDocument(junk));
  EXPECT_FALSE(document.OnOpenDocument(dir_.File("missing.bmp")));
  EXPECT_EQ(doc_test::BitmapRGB(document.GetImage()), before);
  EXPECT_EQ(document.GetPathName(), "");
  EXPECT_FALSE(document.HasFile());
}

// --- save ---

TEST_F(DocumentTest, SaveWritesTheImageAndClearsTheEditState) {
  const std::string path = Sample("edit.bmp");
  CVividDoc document;
  Open(document, path);
  Edit(document);
  EXPECT_TRUE(document.CanSave());
  platform::RecordingMainWindow window;
  ASSERT_TRUE(document.OnFileSave());
  EXPECT_EQ(window.events,
            (std::vector<std::string>{"status Saving File, wait...", "wait 1", "wait 0", "ready"}));
  EXPECT_FALSE(document.IsModified());
  EXPECT_FALSE(document.CanSave());
  ExpectUndoCountsZero(document);
  EXPECT_EQ(doc_test::DecodeRGB(path), doc_test::BitmapRGB(document.GetImage()));
  EXPECT_TRUE(prompts_.requests.empty());
}

TEST_F(DocumentTest, ReadOnlyFileIsWarnedAboutOnOpenAndRefusedOnSave) {
  const std::string path = Sample("ro.bmp");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  const std::vector<uint8_t> before = ReadBytes(path);
  CVividDoc document;
  ASSERT_TRUE(document.OnOpenDocument(path));
  Edit(document);
  EXPECT_FALSE(document.OnFileSave());
  ASSERT_EQ(messages_.shown.size(), 2u);
  EXPECT_EQ(messages_.shown[0].text, path + " is ReadOnly File, Cannot be saved !");
  EXPECT_EQ(messages_.shown[0].caption, "Warnning");
  EXPECT_EQ(messages_.shown[0].icon, platform::MsgIcon::Exclamation);
  EXPECT_EQ(messages_.shown[1].text, path + " is ReadOnly.\n But You can SaveAs other name or fomat.");
  EXPECT_EQ(messages_.shown[1].caption, "Warnning - File Save");
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_TRUE(document.IsModified());
  EXPECT_TRUE(prompts_.requests.empty());
}

TEST_F(DocumentTest, SaveOfAnUnnamedDocumentRunsSaveAsWithTheNameNoname) {
  CVividDoc document;
  ASSERT_TRUE(document.OnNewDocument());
  document.SetModifiedFlag(true);
  prompts_.fileAnswers.push_back({std::nullopt, 0, {2}});  // picks JPEG, then cancels
  EXPECT_FALSE(document.OnFileSave());
  ASSERT_EQ(prompts_.requests, std::vector<std::string>{"file save"});
  EXPECT_EQ(prompts_.fileRequests[0].request.typeIndex, 5);  // no extension counts as "tif"
  EXPECT_EQ(prompts_.fileRequests[0].names, std::vector<std::string>{"NONAME.jpg"});
  EXPECT_TRUE(document.IsModified());
}

TEST_F(DocumentTest, FailedSaveKeepsTheDocumentStateAndSavedCopy) {
  CVividDoc::SetKeepSavedCopy(true);
  const std::string path = Sample("kept.bmp");
  CVividDoc document;
  Open(document, path);
  ASSERT_NE(document.GetSavedCopy(), nullptr);
  Edit(document);
  EXPECT_FALSE(document.OnSaveDocument(dir_.File("out.dcx")));
  EXPECT_TRUE(document.IsModified());
  EXPECT_EQ(document.GetPathName(), path);
  EXPECT_EQ(doc_test::BitmapRGB(*document.GetSavedCopy()), doc_test::DecodeRGB(path));

  ASSERT_TRUE(document.OnSaveDocument(path));
  EXPECT_EQ(doc_test::BitmapRGB(*document.GetSavedCopy()), doc_test::BitmapRGB(document.GetImage()));
}

// --- save as ---

TEST_F(DocumentTest, PreselectedSaveTypeFollowsTheFileNamesExtension) {
  struct Case {
    const char* path;
    int type;  // in the 24-bit list PNG, JPEG, PCX, TGA, TIFF, BMP
  };
  const Case cases[] = {
      {"/p/a.bmp", 6}, {"/p/a.JPEG", 2}, {"/p/a.jpe", 2}, {"/p/a.tga", 4},
      {"/p/a", 5},     {"/p.v2/a", 5},   {"/p/a.gif", 1}, {"/p/a.tar.bmp", 1},
  };
  CVividDoc document;
  ASSERT_TRUE(document.OnNewDocument());
  for (const Case& c : cases) {
    document.SetPathName(c.path, false);
    EXPECT_EQ(document.PreselectedSaveType(), c.type) << c.path;
  }
}

TEST_F(DocumentTest, SaveAsOffersTheKindsTypesAndAppendsTheChosenExtension) {
  const std::string path = Sample("scan.bmp", "-size 11x6 pattern:checkerboard -type Bilevel");
  CVividDoc document;
  Open(document, path);
  ASSERT_EQ(document.GetImage().GetBitCount(), 1);
  CVividDoc::SetLastDirectory("/somewhere");
  prompts_.fileAnswers = {
      {std::nullopt, 0, {3, 1}},     // picks TIFF, then PNG, then cancels
      {dir_.File("copy"), 4, {}},    // BMP
      {dir_.File("fax"), 3, {}},     // TIFF, whose options are then cancelled
  };
  EXPECT_FALSE(document.OnFileSaveAs());
  const auto& request = prompts_.fileRequests.at(0).request;
  EXPECT_EQ(request.mode, platform::FileDialogMode::Save);
  EXPECT_EQ(request.filter, kOneBitFilter);
  EXPECT_EQ(request.typeIndex, 4);
  EXPECT_EQ(request.initialName, path);
  EXPECT_EQ(request.initialFolder, "/somewhere");
  EXPECT_EQ(request.defaultExtension, "bmp");
  EXPECT_EQ(prompts_.fileRequests[0].names, (std::vector<std::string>{"scan.tif", "scan.png"}));

  ASSERT_TRUE(document.OnFileSaveAs());
  EXPECT_EQ(document.GetPathName(), dir_.File("copy.bmp"));
  EXPECT_EQ(document.GetTitle(), "copy.bmp");
  EXPECT_EQ(doc_test::DecodeRGB(dir_.File("copy.bmp")), doc_test::DecodeRGB(path));
  EXPECT_EQ(CVividDoc::GetLastDirectory(), dir_.Path().string());

  EXPECT_FALSE(document.OnFileSaveAs());
  EXPECT_EQ(prompts_.requests.back(), "tiff 1bit");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("fax.tif")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("fax")));
  EXPECT_EQ(document.GetPathName(), dir_.File("copy.bmp"));
}

// The dialog runs again after a read-only choice and after Cancel of the
// overwrite question. The typed "target" has no extension: the question is
// about the file really written, with ".bmp" appended.
TEST_F(DocumentTest, SaveAsAsksAgainForReadOnlyAndNotOverwrittenChoices) {
  const std::string source = Sample("source.bmp");
  const std::string locked = Sample("locked.bmp", "-size 4x4 xc:red");
  const std::string target = Sample("target.bmp", "-size 4x4 xc:red");
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  const std::vector<uint8_t> lockedBefore = ReadBytes(locked);
  CVividDoc document;
  Open(document, source);
  prompts_.fileAnswers = {{locked, 5, {}}, {dir_.File("target"), 5, {}}, {dir_.File("target"), 5, {}}};
  messages_.answers = {MsgAnswer::Cancel, MsgAnswer::Ok};
  ASSERT_TRUE(document.OnFileSaveAs());
  EXPECT_EQ(prompts_.requests.size(), 3u);
  ASSERT_EQ(messages_.shown.size(), 3u);
  EXPECT_EQ(messages_.shown[0].text, locked + " is ReadOnly File, Cannot be saved !");
  EXPECT_EQ(messages_.shown[0].caption, "");
  for (int i : {1, 2}) {
    EXPECT_EQ(messages_.shown[i].text, target + " is Exist, OvertWrite?");
    EXPECT_EQ(messages_.shown[i].caption, "Warnning");
    EXPECT_EQ(messages_.shown[i].buttons, platform::MsgButtons::OkCancel);
  }
  EXPECT_EQ(ReadBytes(locked), lockedBefore);
  EXPECT_EQ(document.GetPathName(), target);
  EXPECT_EQ(doc_test::DecodeRGB(target), doc_test::DecodeRGB(source));
}

TEST_F(DocumentTest, SaveCopyAsWritesWithoutRenamingTheDocument) {
  const std::string path = Sample("orig.bmp");
  const std::vector<uint8_t> original = ReadBytes(path);
  CVividDoc document;
  Open(document, path);
  Edit(document);
  prompts_.fileAnswers.push_back({dir_.File("copy.bmp"), 5, {}});
  ASSERT_TRUE(document.OnFileSaveCopyAs());
  EXPECT_EQ(prompts_.requests, std::vector<std::string>{"file save"});
  EXPECT_EQ(document.GetPathName(), path);
  EXPECT_FALSE(document.IsModified());
  ExpectUndoCountsZero(document);
  EXPECT_EQ(doc_test::DecodeRGB(dir_.File("copy.bmp")), doc_test::BitmapRGB(document.GetImage()));
  EXPECT_EQ(ReadBytes(path), original);
}

// --- revert ---

TEST_F(DocumentTest, RevertNeedsAModifiedDocumentWithAFileAndAYesAndAReadableFile) {
  const std::string path = Sample("rev.bmp");
  CVividDoc document;
  Open(document, path);
  RecordingView view;
  document.AddView(&view);

  EXPECT_FALSE(document.CanRevert());
  EXPECT_FALSE(document.OnFileRevert());
  EXPECT_TRUE(prompts_.requests.empty());

  Edit(document);
  const std::vector<uint8_t> edited = doc_test::BitmapRGB(document.GetImage());
  ASSERT_TRUE(document.CanRevert());
  CVividDoc::SetScanBusy(true);
  EXPECT_FALSE(document.CanRevert());
  CVividDoc::SetScanBusy(false);

  prompts_.yesNoAnswers = {false, true};
  EXPECT_FALSE(document.OnFileRevert());
  EXPECT_EQ(doc_test::BitmapRGB(document.GetImage()), edited);
  EXPECT_TRUE(document.IsModified());
  EXPECT_TRUE(view.hints.empty());

  ASSERT_TRUE(document.OnFileRevert());
  EXPECT_EQ(prompts_.requests, (std::vector<std::string>{"yesno Revert to the previously saved image ?",
                                                         "yesno Revert to the previously saved image ?"}));
  EXPECT_EQ(doc_test::BitmapRGB(document.GetImage()), doc_test::DecodeRGB(path));
  EXPECT_EQ(document.GetImage().GetXResolution(), 72);
  EXPECT_FALSE(document.IsModified());
  ExpectUndoCountsZero(document);
  EXPECT_EQ(view.hints, std::vector<int>{kHintRevert});
  EXPECT_EQ(document.GetTargetImage(), &document.GetImage());

  // A file that can no longer be read leaves the edits in place.
  Edit(document);
  const std::vector<uint8_t> editedAgain = doc_test::BitmapRGB(document.GetImage());
  WriteBytes(path, {'j', 'u', 'n', 'k'});
  prompts_.yesNoAnswers = {true};
  EXPECT_FALSE(document.OnFileRevert());
  EXPECT_EQ(doc_test::BitmapRGB(document.GetImage()), editedAgain);
  EXPECT_TRUE(document.IsModified());
  EXPECT_EQ(document.GetUndoCount(0), 3);
  document.RemoveView(&view);
}

}  // namespace
