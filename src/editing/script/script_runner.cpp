// Running a script: one session of documents and their views.
#include <deque>

#include "document/format_dispatch.h"
#include "editing/script/script.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/color_modes.h"
#include "image/result_codes.h"
#include "image/services.h"
#include "platform/messages.h"

namespace {

// Keeps the messages of the current step and passes them on to the sink
// that was installed before (stderr for the command line) when the step
// ends; the message that explains a failure is given with the failure
// instead. Questions are shown at once and answered from the queue the
// script's `answer` steps fill (without one, as the sink before answers).
class StepMessageSink final : public platform::MessageSink {
 public:
  explicit StepMessageSink(std::deque<platform::MsgAnswer>& answers)
      : answers_(answers), previous_(platform::SetMessageSink(this)) {}
  ~StepMessageSink() override {
    Flush(false);
    platform::SetMessageSink(previous_);
  }
  StepMessageSink(const StepMessageSink&) = delete;
  StepMessageSink& operator=(const StepMessageSink&) = delete;

  platform::MsgAnswer Show(const platform::Message& message) override {
    if (message.buttons == platform::MsgButtons::Ok) {
      texts.push_back(message.text);
      held_.push_back(message);
      return platform::MsgAnswer::Ok;
    }
    platform::MsgAnswer answer = Forward(message);
    if (answers_.empty()) return answer;
    answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  // Passes the held messages on, all but the last when `keepLast`.
  void Flush(bool keepLast) {
    if (keepLast && !held_.empty()) held_.pop_back();
    for (const platform::Message& message : held_) Forward(message);
    held_.clear();
  }

  std::vector<std::string> texts;

 private:
  platform::MsgAnswer Forward(const platform::Message& message) {
    if (previous_) return previous_->Show(message);
    platform::StderrMessageSink stderrSink;
    return stderrSink.Show(message);
  }

  std::vector<platform::Message> held_;
  std::deque<platform::MsgAnswer>& answers_;
  platform::MessageSink* previous_;
};

bool DefaultOpen(CVividDoc& document, const std::string& path) { return document.OnOpenDocument(path); }
bool DefaultSave(CVividDoc& document, const std::string& path) {
  return document.SaveAsChosen(path, document.PreselectedSaveType());
}

}  // namespace

struct CScriptRunner::Session {
  struct Document {
    std::unique_ptr<CVividDoc> doc;
    std::vector<std::unique_ptr<CVividView>> views;
    size_t activeView = 0;
  };
  FileHooks hooks;
  std::vector<Document> documents;
  int active = -1;
  int clientWidth = 1024;
  int clientHeight = 768;
  std::deque<platform::MsgAnswer> answers;

  Document* Active() { return active >= 0 ? &documents[static_cast<size_t>(active)] : nullptr; }
  CVividView* View() {
    Document* d = Active();
    return d && !d->views.empty() ? d->views[d->activeView].get() : nullptr;
  }
  void AddView(Document& d) {
    auto view = std::make_unique<CVividView>(*d.doc);
    view->SetClientSize(clientWidth, clientHeight);
    d.views.push_back(std::move(view));
    d.activeView = d.views.size() - 1;
  }
};

CScriptRunner::CScriptRunner() : CScriptRunner(FileHooks{}) {}

CScriptRunner::CScriptRunner(FileHooks hooks) : session_(std::make_unique<Session>()) {
  session_->hooks.open = hooks.open ? std::move(hooks.open) : DefaultOpen;
  session_->hooks.save = hooks.save ? std::move(hooks.save) : DefaultSave;
  // Documents a command makes (Channel Separate) join the session as the
  // editor's would, after the ones open, in the order they come.
  Session* session = session_.get();
  CVividView::SetNewDocumentSink([session](std::unique_ptr<CDIBitmap> image, const std::string& title) {
    Session::Document d;
    d.doc = std::make_unique<CVividDoc>();
    d.doc->GetImage().Attach(*image);
    d.doc->RebuildPalette();
    d.doc->SetTitle(title);
    d.doc->SetModifiedFlag(true);
    session->AddView(d);
    session->documents.push_back(std::move(d));
    session->active = static_cast<int>(session->documents.size()) - 1;
  });
}

CScriptRunner::~CScriptRunner() {
  CVividView::SetNewDocumentSink({});
  // Views go before their documents.
  for (Session::Document& d : session_->documents) d.views.clear();
}

int CScriptRunner::DocumentCount() const { return static_cast<int>(session_->documents.size()); }
CVividDoc* CScriptRunner::Document(int index) const {
  if (index < 0 || index >= DocumentCount()) return nullptr;
  return session_->documents[static_cast<size_t>(index)].doc.get();
}
CVividDoc* CScriptRunner::ActiveDocument() const {
  Session::Document* d = session_->Active();
  return d ? d->doc.get() : nullptr;
}
CVividView* CScriptRunner::ActiveView() const { return session_->View(); }

bool CScriptRunner::Run(const std::vector<ScriptStep>& steps, ScriptError& error) {
  for (const ScriptStep& step : steps)
    if (!RunStep(step, error)) return false;
  return true;
}

namespace {

// Makes the image of `new W H KIND FILL`.
bool MakeNewImage(CDIBitmap& image, int width, int height, int kind, int fill) {
  static constexpr int kBits[] = {24, 8, 8, 1, 32};
  const int options = (kind == 1 || kind == 4) ? 1 : 0;
  if (!image.Create(width, height, kBits[kind], options)) return false;
  if (kind == 2) {
    uint8_t table[1024];
    GL_GetFixedPalette(kPaletteSystem, table);
    image.SetColorTable(table, 256);
  }
  const uint32_t color = fill == 0 ? 0xFFFFFFu : fill == 1 ? 0u : ToolSettings().background;
  return GL_FillBitmap(image, color) == 1;
}

// Writes what the view shows as a 24-bit image by the path's extension.
bool WriteRender(CVividView& view, const std::string& path) {
  RgbImage shown;
  view.Render(shown);
  CDIBitmap bitmap;
  if (!bitmap.Create(shown.width, shown.height, 24, 0)) return false;
  for (int y = 0; y < shown.height; ++y) {
    const uint8_t* in = shown.Row(y);
    uint8_t* out = bitmap.RowPointer(y);
    for (int x = 0; x < shown.width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  bitmap.SetResolution(72, 72);
  return SaveImageFile(bitmap, path, 1) != 0;
}

}  // namespace

bool CScriptRunner::RunStep(const ScriptStep& step, ScriptError& error) {
  Session& s = *session_;
  StepMessageSink messages(s.answers);
  const std::string& verb = step.verb;
  auto fail = [&](std::string reason) {
    // The system's own message explains a failure best: the last one shown.
    const bool own = !messages.texts.empty();
    error = {step.line, own ? messages.texts.back() : std::move(reason)};
    messages.Flush(own);
    return false;
  };
  // Steps that work on a document or a view need one.
  CVividView* view = s.View();
  const bool needsView = !(verb == "open" || verb == "new" || verb == "document" || verb == "view" ||
                           verb == "tool" || verb == "set" || verb == "answer" || verb == "tick");
  if (needsView && !view) return fail(verb + ": no document is open");

  if (verb == "open" || verb == "new") {
    Session::Document d;
    d.doc = std::make_unique<CVividDoc>();
    if (verb == "open") {
      if (!s.hooks.open(*d.doc, step.words[0])) return fail("cannot open " + step.words[0]);
    } else {
      if (!MakeNewImage(d.doc->GetImage(), step.numbers[0], step.numbers[1], step.numbers[2], step.numbers[3]))
        return fail("new: cannot make the image");
      d.doc->GetImage().SetResolution(72, 72);
      d.doc->RebuildPalette();
      d.doc->SetTitle("Untitled");
    }
    s.AddView(d);
    s.documents.push_back(std::move(d));
    s.active = static_cast<int>(s.documents.size()) - 1;
    return true;
  }
  if (verb == "save") {
    if (!s.hooks.save(view->GetDocument(), step.words[0])) return fail("cannot save " + step.words[0]);
    return true;
  }
  if (verb == "close") {
    Session::Document& d = *s.Active();
    d.views.clear();
    s.documents.erase(s.documents.begin() + s.active);
    s.active = static_cast<int>(s.documents.size()) - 1;
    return true;
  }
  if (verb == "document") {
    if (step.numbers[0] > static_cast<int>(s.documents.size()))
      return fail("document: there is no document " + std::to_string(step.numbers[0]));
    s.active = step.numbers[0] - 1;
    return true;
  }
  if (verb == "window") {
    Session::Document& d = *s.Active();
    if (step.numbers[0] > static_cast<int>(d.views.size()))
      return fail("window: the document has no window " + std::to_string(step.numbers[0]));
    d.activeView = static_cast<size_t>(step.numbers[0] - 1);
    return true;
  }
  if (verb == "view") {
    s.clientWidth = step.numbers[0];
    s.clientHeight = step.numbers[1];
    if (view) view->SetClientSize(s.clientWidth, s.clientHeight);
    return true;
  }
  if (verb == "zoom") {
    if (!view->SetZoom({step.numbers[0], step.numbers[1]}))
      return fail("zoom: the image cannot be shown at " + step.words[0]);
    return true;
  }
  if (verb == "scroll") {
    view->SetScroll(step.numbers[0], step.numbers[1]);
    return true;
  }
  if (verb == "render") {
    if (!WriteRender(*view, step.words[0])) return fail("render: cannot write " + step.words[0]);
    return true;
  }
  if (verb == "tool") {
    ToolSettings().SelectTool(*ToolFromScriptName(step.words[0]));
    for (Session::Document& d : s.documents)
      for (auto& v : d.views) v->OnToolChanged();
    return true;
  }
  if (verb == "set") {
    const std::string problem = ToolSettings().SetOption(step.words[0], step.words[1]);
    if (!problem.empty()) return fail("set: " + problem);
    return true;
  }
  if (verb == "answer") {
    const std::string& a = step.words[0];
    s.answers.push_back(a == "yes" ? platform::MsgAnswer::Yes
                        : a == "no" ? platform::MsgAnswer::No
                                    : platform::MsgAnswer::Cancel);
    return true;
  }
  if (verb == "tick") {
    for (Session::Document& d : s.documents)
      for (auto& v : d.views) v->OnTimer(step.numbers[0]);
    return true;
  }

  const size_t messagesBefore = messages.texts.size();
  if (verb == "press" || verb == "move" || verb == "release" || verb == "click" || verb == "double-click" ||
      verb == "drag") {
    const PointerButton button = step.rightButton ? PointerButton::Right : PointerButton::Left;
    const unsigned mods = step.modifiers;
    const std::vector<platform::Point>& p = step.points;
    if (verb == "press") view->OnPointerPress(p[0], button, mods);
    if (verb == "move") view->OnPointerMove(p[0], mods);
    if (verb == "release") view->OnPointerRelease(p[0], button, mods);
    if (verb == "click" || verb == "double-click") {
      view->OnPointerPress(p[0], button, mods);
      view->OnPointerRelease(p[0], button, mods);
    }
    if (verb == "double-click") {
      view->OnDoubleClick(p[0], button, mods);
      view->OnPointerRelease(p[0], button, mods);
    }
    if (verb == "drag") {
      view->OnPointerPress(p[0], button, mods);
      for (size_t i = 1; i < p.size(); ++i) view->OnPointerMove(p[i], mods);
      view->OnPointerRelease(p.back(), button, mods);
    }
  } else if (verb == "key") {
    static constexpr ViewKey kKeys[] = {ViewKey::Left, ViewKey::Right, ViewKey::Up,
                                        ViewKey::Down, ViewKey::Escape, ViewKey::Delete};
    view->OnKey(kKeys[step.numbers[0]], step.numbers[1], step.modifiers);
  } else if (verb == "command") {
    if (step.command->id == kCmdNewWindow) {
      s.AddView(*s.Active());
      return true;
    }
    bool disabled = false;
    const EditResult result = view->RunCommand(step.command->id, step.commandArgs, &disabled);
    if (disabled) return fail("command " + std::string(step.command->scriptName) + ": not available now");
    if (result < 0) return fail(FormatErrorCode(result));
  } else if (verb == "effect") {
    const EditResult result = view->RunEffect(*step.operation);
    if (result < 0) return fail(FormatErrorCode(result));
    if (result == 0 && messages.texts.size() == messagesBefore)
      return fail("effect " + step.words[0] + ": not available now");
  } else if (verb == "preview") {
    const EditResult result =
        view->PreviewOpen() ? view->UpdatePreview(*step.operation) : view->OpenPreview(*step.operation);
    if (result < 0) return fail(FormatErrorCode(result));
    if (result == 0 && messages.texts.size() == messagesBefore)
      return fail("preview " + step.words[0] + ": not available now");
  } else if (verb == "preview-ok") {
    EditResult result;
    if (view->TextDialogOpen())
      result = view->OnTextDialogOk();
    else if (view->PreviewOpen())
      result = view->PreviewOk();
    else
      return fail("preview-ok: no dialog is open");
    if (result < 0) return fail(FormatErrorCode(result));
  } else if (verb == "preview-cancel") {
    if (view->TextDialogOpen())
      view->OnTextDialogCancel();
    else if (view->PreviewOpen())
      view->PreviewCancel();
    else
      return fail("preview-cancel: no dialog is open");
  }
  // A step that made the system report a problem failed.
  if (messages.texts.size() > messagesBefore) return fail("");
  return true;
}
