// Shared helpers for the test programs: sample paths, temporary folders,
// running commands (the CLI and the oracle programs) and file bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// Committed samples under tests/data (third-party files under third_party/).
std::string DataPath(const std::string& relative);

// The oracle programs, by absolute path so that no stand-in on PATH is taken.
inline constexpr char kImageMagick[] = "/usr/bin/convert";
inline constexpr char kPython[] = "/usr/bin/python3";  // with Debian's python3-pil
// The command-line program under test.
std::string CliPath();

// A fresh folder removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct CommandResult {
  int exitCode = -1;  // the exit status, or -1 when killed by a signal
  std::string out;
  std::string err;
};

// Runs a shell command line, capturing stdout and stderr.
CommandResult RunCommand(const std::string& commandLine);
// Quotes one argument for the shell.
std::string ShellQuote(const std::string& argument);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Keeps SANE's test backend loaded after sane_exit would unload it, so that
// the sanitizer build's leak checker can still name the memory the backend
// keeps for itself (and its suppression list can leave it out).
void KeepSaneTestBackendLoaded();

}  // namespace testing_support
