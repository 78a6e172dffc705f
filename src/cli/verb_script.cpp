// vividrome-cli script FILE|-: runs an editing session without a window.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/cli.h"
#include "document/vivid_doc.h"
#include "editing/script/script.h"

namespace cli {

namespace {

// Scripts are text written by people or recorded by the editor; far below this.
constexpr std::streamsize kMaxScriptBytes = 64 << 20;

}  // namespace

int RunScript(std::span<const std::string> args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  ExpectPositionals(parsed, 1, "script");
  const std::string& source = parsed.positional[0];

  std::string text;
  {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (source != "-") {
      file.open(source, std::ios::binary);
      if (!file) {
        std::fprintf(stderr, "%s: cannot read %s\n", kProgram, source.c_str());
        return kExitFailed;
      }
      in = &file;
    }
    std::ostringstream buffer;
    std::vector<char> chunk(1 << 16);
    std::streamsize total = 0;
    while (in->read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in->gcount() > 0) {
      total += in->gcount();
      if (total > kMaxScriptBytes) {
        std::fprintf(stderr, "%s: %s is too long for a script\n", kProgram, source.c_str());
        return kExitFailed;
      }
      buffer.write(chunk.data(), in->gcount());
    }
    if (in->bad()) {
      std::fprintf(stderr, "%s: cannot read %s\n", kProgram, source.c_str());
      return kExitFailed;
    }
    text = buffer.str();
  }

  std::vector<ScriptStep> steps;
  ScriptError error;
  if (!ParseScript(text, steps, error)) {
    std::fprintf(stderr, "%s: line %d: %s\n", kProgram, error.line, error.text.c_str());
    return kExitUsage;
  }

  CliPrompts prompts;
  PromptsScope scope(prompts);
  CScriptRunner runner({OpenDocument, SaveDocument});
  if (!runner.Run(steps, error)) {
    const std::string& line = steps.empty() ? std::string() : [&]() -> const std::string& {
      for (const ScriptStep& step : steps)
        if (step.line == error.line) return step.text;
      return steps.front().text;
    }();
    std::fprintf(stderr, "%s: line %d (%s): %s\n", kProgram, error.line, line.c_str(), error.text.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace cli
