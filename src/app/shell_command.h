// The shell commands of the editor: what its command line asks for, and the
// execute strings a second instance forwards to the running one. Both are
// plain text rules without the toolkit.
//
// Command line (the words after the program name):
//   FILE ...                          open each file
//   /p FILE                           print FILE on the default printer
//   /pt FILE PRINTER DRIVER PORT      print FILE on the CUPS queue PRINTER
//                                     (an empty PRINTER: the default one);
//                                     DRIVER and PORT are kept as given
//   --                                every later word is a file
// A switch is a word of letters after '/', '-' or "--" ("/p", "-pt",
// "--help"; letters compared without case), so a path such as "/tmp/a.png" is a file. Any
// other switch, a switch missing its words, or a file beside /p or /pt is
// a usage error.
//
// Execute strings: one or more bracketed commands, blanks allowed between
// the parts:
//   [open("FILE")]  [print("FILE")]  [printto("FILE","PRINTER","DRIVER","PORT")]
// Inside the quotes a double quote is written twice. Command names are
// compared without case.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace app {

enum class ShellAction { Open, Print, PrintTo };

struct ShellCommand {
  ShellAction action = ShellAction::Open;
  std::string file;
  std::string printer;  // PrintTo only
  std::string driver;   // PrintTo only
  std::string port;     // PrintTo only
  bool operator==(const ShellCommand&) const = default;
};

struct CommandLine {
  std::vector<ShellCommand> commands;  // empty: start with no document
  std::string error;                   // a usage error ("" when parsed)
  bool Ok() const { return error.empty(); }
};

// Parses the words after the program name.
CommandLine ParseCommandLine(std::span<const std::string> words);

// The text of the usage error's second line: how the program is called.
extern const char kCommandLineUsage[];

// The execute string of `command` (its file as given; the caller makes it
// absolute first).
std::string BuildExecuteString(const ShellCommand& command);

// The commands of an execute string; nullopt when any part is malformed
// (an unknown command, a wrong argument count, an empty file, an open quote,
// text outside the brackets), in which case nothing of it is run.
std::optional<std::vector<ShellCommand>> ParseExecuteString(std::string_view text);

}  // namespace app
