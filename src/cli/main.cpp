// vividrome-cli entry: picks the verb and maps the outcome to the exit status.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace cli {
namespace {

// A verb joins the command line by adding its line here.
constexpr Verb kVerbs[] = {
    {"info", "info FILE\n      print WIDTH HEIGHT BITCOUNT KIND of the image", RunInfo},
    {"convert",
     "convert IN OUT [--jpeg-quality N] [--tiff-compression none|packbits|fax3|fax4]\n"
     "               [--tga-compression none|rle] [--pcd-resolution 0-4]\n"
     "      open IN and save it as OUT, each format chosen by the file name's extension",
     RunConvert},
    {"apply",
     "apply IN OUT OP [OP ...] [--select X,Y,W,H]\n"
     "      open IN, apply each operation (NAME or NAME:ARG,ARG...) in order, save OUT;\n"
     "      --select limits the change to a rectangle. `apply --help` lists the operations",
     RunApply},
};

void PrintUsage(std::FILE* stream) {
  std::fprintf(stream, "usage: %s VERB [ARGUMENTS]\n       %s --help\n\nverbs:\n", kProgram, kProgram);
  for (const Verb& verb : kVerbs)
    std::fprintf(stream, "  %.*s\n", static_cast<int>(verb.usage.size()), verb.usage.data());
  std::fprintf(stream, "\nexit status: 0 success, 1 the operation failed, 2 usage error\n");
}

int Main(const std::vector<std::string>& args) {
  if (args.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  const auto isHelp = [](const std::string& arg) { return arg == "--help" || arg == "-h"; };
  if (isHelp(args[0]) || (args.size() == 2 && isHelp(args[1]))) {
    PrintUsage(stdout);
    if (args[0] == "apply") PrintOperations(stdout);
    return kExitOk;
  }
  for (const Verb& verb : kVerbs) {
    if (verb.name != args[0]) continue;
    try {
      return verb.run(std::span<const std::string>(args).subspan(1));
    } catch (const UsageError& error) {
      std::fprintf(stderr, "%s: %s\n\n", kProgram, error.what());
      PrintUsage(stderr);
      return kExitUsage;
    }
  }
  std::fprintf(stderr, "%s: unknown verb '%s'\n\n", kProgram, args[0].c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv) {
  platform::SetMessageSink(&cli::Messages());
  try {
    const int status = cli::Main(std::vector<std::string>(argv + 1, argv + argc));
    std::fflush(stdout);
    return std::ferror(stdout) ? cli::kExitFailed : status;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", cli::kProgram, error.what());
    return cli::kExitFailed;
  }
}
