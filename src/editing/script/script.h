// The script language: an editing session as text, one step a line, run
// through the same view controllers (CVividView) as the editor's window.
// `vividrome-cli script` runs it without a window; the editor's Play Script
// runs it in its views.
//
// Lexical rules: words are separated by blanks; a double-quoted word may
// hold blanks, and "\n" in it is a line break ("\\" a backslash, "\"" a
// quote); '#' outside quotes starts a comment. Empty lines do nothing.
//
// Steps (coordinates are view coordinates, "X,Y"):
//   open PATH | new W H rgb|gray|palette|bw|cmyk [white|black|background]
//   save PATH | close | document N | window N
//   view W H | zoom N:D | scroll X Y | render PATH
//   tool NAME | set NAME VALUE
//   press|move|release|click|double-click X,Y [right] [shift] [ctrl] [alt]
//   drag X,Y X,Y [X,Y ...] [right] [shift] [ctrl] [alt]
//   key left|right|up|down|escape|delete [COUNT] [shift] [ctrl] [alt]
//   tick MS
//   command NAME [ARG ...] | effect NAME[:ARGS] | preview NAME[:ARGS]
//   preview-ok | preview-cancel | answer yes|no|cancel
//
// Everything that can be checked without running (verbs, word counts,
// numbers and their ranges, tool, command and effect names and the
// commands' and effects' arguments) is checked by ParseScript, so a script
// with a syntax error anywhere does not start.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/operation_table.h"
#include "editing/view_commands.h"
#include "platform/region.h"

class CVividDoc;

struct ScriptStep {
  int line = 0;                    // 1-based line number in the script
  std::string text;                // the line as written, without comment
  std::string verb;
  std::vector<std::string> words;  // the words after the verb, unquoted
  // Filled by the parser where the verb has them:
  std::vector<platform::Point> points;  // gestures
  unsigned modifiers = 0;               // ModifierFlags
  bool rightButton = false;
  std::vector<int> numbers;             // new, view, zoom, scroll, key count, tick, document, window
  const CommandDef* command = nullptr;  // command
  OperationArgs commandArgs;            // command
  std::optional<ParsedOperation> operation;  // effect, preview
};

struct ScriptError {
  int line = 0;
  std::string text;
};

// Splits one line into words by the lexical rules. False, with `error`
// set, for an unterminated quote or an unknown escape.
bool SplitScriptLine(std::string_view line, std::vector<std::string>& words, std::string& error);

// Parses a whole script. On the first syntax error returns false and fills
// `error` (line and one-line explanation); `steps` is then incomplete.
bool ParseScript(std::string_view text, std::vector<ScriptStep>& steps, ScriptError& error);

// Runs parsed steps: one session with its documents and their views.
class CScriptRunner {
 public:
  // How documents are opened and saved; the command line passes its own
  // (which explain a failure on stderr), the default calls the document's
  // Open and Save As by the path's extension.
  struct FileHooks {
    std::function<bool(CVividDoc&, const std::string&)> open;
    std::function<bool(CVividDoc&, const std::string&)> save;
  };

  CScriptRunner();
  explicit CScriptRunner(FileHooks hooks);
  ~CScriptRunner();
  CScriptRunner(const CScriptRunner&) = delete;
  CScriptRunner& operator=(const CScriptRunner&) = delete;

  // Runs the steps in order and stops at the first that fails, filling
  // `error` with its line and the system's message (or why the step could
  // not run: "not available now" for a disabled command). True when every
  // step ran.
  bool Run(const std::vector<ScriptStep>& steps, ScriptError& error);
  // Runs one step; false with `error` set when it failed.
  bool RunStep(const ScriptStep& step, ScriptError& error);

  // The session, for tests and the editor.
  int DocumentCount() const;
  // The index-th open document (0-based, in opening order).
  CVividDoc* Document(int index) const;
  CVividDoc* ActiveDocument() const;
  class CVividView* ActiveView() const;

 private:
  struct Session;
  std::unique_ptr<Session> session_;
};
