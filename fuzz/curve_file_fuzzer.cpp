// Feeds arbitrary bytes to both curve-file loaders through a temporary file,
// then evaluates every channel of what was taken. The loaders must never
// read outside the file's bytes or their tables, and evaluation must never
// divide by zero, whatever points the file held.
// Seed corpus: fuzz/corpus/curve_file (files written by SaveCurveFile: 1, 4
// and 5 channels, a ".cck" and a truncated one).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "color/curves.h"

namespace {

const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/curve_file_fuzzer_" + std::to_string(getpid()) + ".crb";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  std::fclose(file);
  if (!written) return 0;
  color::CurveSet curves;
  color::LoadCurveFile(path, curves);
  color::CurveSet separation;
  color::LoadSeparationCurveFile(path, separation);
  for (int channel = 0; channel < color::kCurveChannelsMax; ++channel) {
    curves.Evaluate(channel);
    separation.Evaluate(channel);
  }
  std::remove(path.c_str());
  return 0;
}
