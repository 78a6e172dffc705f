// Runs arbitrary text as an editing script on a small new picture: every
// gesture, key, tool, setting, zoom, scroll and command the language has,
// in any order, must leave the controller sound (no crash, no read outside
// a bitmap, no hang). Steps that touch files (open, save, render, the
// selection files) are left out, and sizes are kept small so that each
// input runs quickly.
// Seed corpus: fuzz/corpus/script_session (sessions with each tool family).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editing/script/script.h"
#include "platform/messages.h"

namespace {

bool Allowed(const ScriptStep& step) {
  const std::string& verb = step.verb;
  if (verb == "open" || verb == "save" || verb == "render") return false;
  if (verb == "command" && (step.command->scriptName == "save-selection" ||
                            step.command->scriptName == "load-selection"))
    return false;
  if (verb == "new") return step.numbers[0] <= 256 && step.numbers[1] <= 256;
  if (verb == "view") return step.numbers[0] <= 512 && step.numbers[1] <= 512;
  if ((verb == "effect" || verb == "preview") && step.operation) {
    // Operations that may grow the picture are kept to small sizes.
    const std::string_view name = step.operation->def->name;
    if (name == "resize" || name == "canvas-size")
      return step.operation->args.Int(0) <= 512 && step.operation->args.Int(1) <= 512;
  }
  if (verb == "command" && step.command->scriptName == "resize")
    return step.commandArgs.Int(0) <= 512 && step.commandArgs.Int(1) <= 512;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::SilentMessageSink silent;
  platform::SetMessageSink(&silent);
  if (size > 4096) return 0;
  std::vector<ScriptStep> parsed;
  ScriptError error;
  if (!ParseScript(std::string_view(reinterpret_cast<const char*>(data), size), parsed, error)) return 0;
  std::vector<ScriptStep> steps;
  ParseScript("new 64 48 rgb\n", steps, error);
  for (ScriptStep& step : parsed)
    if (Allowed(step)) steps.push_back(std::move(step));
  CScriptRunner runner;
  for (const ScriptStep& step : steps) runner.RunStep(step, error);
  return 0;
}
