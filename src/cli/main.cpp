// vividrome-cli entry: picks the verb and maps the outcome to the exit status.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "document/vivid_doc.h"
#ifdef VIVID_HAVE_QT_TEXT
#include "platform/qt/qt_text_rasterizer.h"
#endif

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
    {"print",
     "print IN --printer epson|designjet (--output FILE | --queue NAME) [--dpi N] [--paper NAME|CODE]\n"
     "             [--gray] [--invert] [--flip] [--fit|--scale PERCENT] [--curves FILE.cck]\n"
     "             [--input-profile P --separation-profile P [--intent 0-3]] [--offset X,Y] [--margins L,T,R,B]\n"
     "  print IN --device (--output FILE.pdf | --queue NAME) [--dpi 72-1200] [--paper NAME|CODE] [--gray] [--invert]\n"
     "             [--fit|--scale PERCENT] [--margins L,T,R,B]\n"
     "      print the image fitted (default) or at PERCENT (1-1000) of its natural size, centred, on A4 (or\n"
     "      --paper: code 1-41 or A4, A3, A5, Letter, Legal, ...). --printer: the printer's own raster stream\n"
     "      (EPSON 360|720 dpi, default 360; DesignJet 300|600 dpi, default 300) to a file or a raw CUPS queue;\n"
     "      --device: a PDF (300 dpi by default) to a file or a CUPS queue. --offset: the printer's printing\n"
     "      offset in dots; --margins: in mm (raised to the printer's minimum margins)",
     RunPrint},
    {"icc",
     "icc list | icc dump PROFILE [--intent 0-3] [--output FILE]\n"
     "      list the installed ICC profiles by use (VIVID_ICC_PATH=DIR:DIR... replaces the colour folders), or\n"
     "      write a profile's text dump to FILE (default VIVIDICM_prn.txt for an output profile, else\n"
     "      VIVIDICM_mntr.txt, in the working folder)",
     RunIcc},
    {"script",
     "script FILE|-\n"
     "      run an editing session, one step a line, through the editor's own view controllers:\n"
     "      open, new, save, close, document, window, view, zoom, scroll, render, tool, set, press, move,\n"
     "      release, click, double-click, drag, key, tick, command, effect, preview, preview-ok,\n"
     "      preview-cancel, answer. A syntax error stops the script before it runs (exit 2); a step that\n"
     "      fails stops it with its line number and the system's message (exit 1)",
     RunScript},
    {"scan",
     "scan OUT [--device NAME] [--mode color|gray|lineart] [--dpi N] [--area X,Y,W,H]\n"
     "            [--device-option NAME=VALUE[,NAME=VALUE...]]\n"
     "      scan a new image and save it as OUT (format by extension); --area in millimetres from the\n"
     "      bed's top-left corner; --device-option sets the scanner's own options by name",
     RunScan},
    {"sources", "sources\n      list the scan sources, one a line: NAME, a tab, vendor and model", RunSources},
};

void PrintVerbUsage(std::FILE* stream, const Verb& verb) {
  std::fprintf(stream, "  %.*s\n", static_cast<int>(verb.usage.size()), verb.usage.data());
}

void PrintUsage(std::FILE* stream) {
  std::fprintf(stream, "usage: %s VERB [ARGUMENTS]\n       %s VERB --help\n\nverbs:\n", kProgram, kProgram);
  for (const Verb& verb : kVerbs) PrintVerbUsage(stream, verb);
  std::fprintf(stream, "\nexit status: 0 success, 1 the operation failed, 2 usage error\n");
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

// A usage error is one line on stderr: the problem, and where the usage is.
int ReportUsageError(const std::string& problem, std::string_view verb) {
  const std::string help = verb.empty() ? std::string(kProgram) + " --help" : std::string(kProgram) + " " +
                                                                                 std::string(verb) + " --help";
  std::fprintf(stderr, "%s: %s (see '%s')\n", kProgram, problem.c_str(), help.c_str());
  return kExitUsage;
}

int Main(const std::vector<std::string>& args) {
  if (args.empty()) return ReportUsageError("a verb is needed", "");
  if (IsHelp(args[0])) {
    PrintUsage(stdout);
    return kExitOk;
  }
  for (const Verb& verb : kVerbs) {
    if (verb.name != args[0]) continue;
    const std::span<const std::string> rest = std::span<const std::string>(args).subspan(1);
    // VERB --help (anywhere before a "--") shows that verb's usage.
    for (const std::string& arg : rest) {
      if (arg == "--") break;
      if (!IsHelp(arg)) continue;
      std::printf("usage:\n");
      PrintVerbUsage(stdout, verb);
      if (verb.name == "apply") PrintOperations(stdout);
      return kExitOk;
    }
    try {
      return verb.run(rest);
    } catch (const UsageError& error) {
      return ReportUsageError(error.what(), verb.name);
    }
  }
  return ReportUsageError("unknown verb '" + args[0] + "'", "");
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv) {
  platform::SetMessageSink(&cli::Messages());
  // The command line never saves over the file it opened.
  CVividDoc::SetWarnReadOnlyOnOpen(false);
#ifdef VIVID_HAVE_QT_TEXT
  // Fonts for the text tool; Qt starts (offscreen) only when text is drawn.
  platform::InstallQtTextRasterizer();
#endif
  try {
    const int status = cli::Main(std::vector<std::string>(argv + 1, argv + argc));
    std::fflush(stdout);
    return std::ferror(stdout) ? cli::kExitFailed : status;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", cli::kProgram, error.what());
    return cli::kExitFailed;
  }
}
