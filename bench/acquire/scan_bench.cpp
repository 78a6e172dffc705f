// An A4 colour scan at 300 dpi from SANE's test backend into a document's
// bitmap, against scanimage writing the same scan as PNM. Prints the best
// of several runs of each and their ratio.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "acquire/acquisition.h"
#include "acquire/sane_source.h"
#include "image/dibitmap.h"
#include "platform/settings.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
  const fs::path dir = fs::temp_directory_path() / ("vivid_scan_bench_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "dll.conf") << "test\n";
  // The stock bed is 200 x 200 mm; A4 needs a larger one.
  std::ofstream(dir / "test.conf") << "number_of_devices 1\ngeometry_max 300.0\n";
  ::setenv("SANE_CONFIG_DIR", dir.c_str(), 1);

  acquire::ScanOptions options;
  options.pixelType = acquire::TWPT_RGB;
  options.dpi = 300;
  options.area = acquire::ScanArea{0, 0, 210, 297};
  options.deviceOptions = {{"test-picture", "Color pattern"}};
  platform::MemorySettings settings;

  double ours = 1e9, theirs = 1e9;
  int width = 0, height = 0;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    acquire::Acquisition acquisition([&] {
      return acquire::MakeSaneManager(&settings, {}, [&](const acquire::ScanRequest&, acquire::ScanOptions& chosen) {
        chosen = options;
        return true;
      });
    });
    CDIBitmap bitmap;
    acquire::ImageDescriptor descriptor;
    if (!acquisition.Acquire(bitmap, descriptor)) {
      std::fprintf(stderr, "scan failed\n");
      return 1;
    }
    ours = std::min(ours, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    width = bitmap.GetWidth();
    height = bitmap.GetHeight();

    const std::string command = "scanimage -d test:0 --format=pnm --mode Color --resolution 300 -l 0 -t 0 -x 210 "
                                "-y 297 --test-picture 'Color pattern' > " + (dir / "a4.pnm").string() + " 2>/dev/null";
    const auto startPeer = Clock::now();
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "scanimage failed\n");
      return 1;
    }
    theirs = std::min(theirs, std::chrono::duration<double, std::milli>(Clock::now() - startPeer).count());
  }
  fs::remove_all(dir);
  std::printf("A4 colour 300 dpi (%d x %d): acquisition %.1f ms, scanimage to PNM %.1f ms, ratio %.2f\n", width,
              height, ours, theirs, ours / theirs);
  return 0;
}
