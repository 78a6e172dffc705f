#include "test_support.h"

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testing_support {

std::string DataPath(const std::string& relative) { return std::string(VIVID_TEST_DATA) + "/" + relative; }

std::string CliPath() { return VIVID_CLI; }

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vivid-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Give back write permission first so read-only fixtures can be removed.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ShellQuote(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

CommandResult RunCommand(const std::string& commandLine) {
  TempDir scratch;
  const std::string outPath = scratch.File("out");
  const std::string errPath = scratch.File("err");
  const std::string full = "(" + commandLine + ") >" + ShellQuote(outPath) + " 2>" + ShellQuote(errPath) + " </dev/null";
  CommandResult result;
  const int status = std::system(full.c_str());
  if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  return result;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void KeepSaneTestBackendLoaded() {
  static void* const kept = [] {
    void* handle = ::dlopen("libsane-test.so.1", RTLD_NOW | RTLD_NODELETE);
    return handle ? handle : ::dlopen("/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1", RTLD_NOW | RTLD_NODELETE);
  }();
  (void)kept;
}

}  // namespace testing_support
