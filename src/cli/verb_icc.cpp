// icc list: the profile catalogue, one line per entry per list.
// icc dump PROFILE [--intent N] [--output FILE]: a profile's text dump.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "color/icc_profile.h"
#include "color/profile_catalogue.h"

namespace cli {
namespace {

// Control characters (a line feed left in a description) would break the
// one-line-per-entry listing; they are shown as spaces.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

// Lines "LIST<TAB>FILE NAME<TAB>DESCRIPTION<TAB>VERSION<TAB>COLOUR SPACE<TAB>PATH".
int ListProfiles(const ParsedArgs& parsed) {
  ExpectPositionals(parsed, 1, "icc list");
  color::ProfileCatalogue catalogue;
  catalogue.ScanProfiles();
  const std::pair<const char*, const std::vector<color::ProfileEntry>*> lists[] = {
      {"input", &catalogue.Input()},   {"photocd", &catalogue.PhotoCd()},
      {"display", &catalogue.Display()}, {"output", &catalogue.Output()},
      {"separation", &catalogue.Separation()},
  };
  for (const auto& [name, list] : lists)
    for (const color::ProfileEntry& entry : *list)
      std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", name, OneLine(entry.fileName).c_str(), OneLine(entry.description).c_str(),
                  entry.version.c_str(), color::ColorSpaceName(entry.colorSpace).c_str(),
                  OneLine(entry.path).c_str());
  return kExitOk;
}

int DumpProfile(const ParsedArgs& parsed) {
  ExpectPositionals(parsed, 2, "icc dump");
  int intent = 0;
  if (const auto value = parsed.Option("--intent")) intent = ParseIntOption("--intent", *value, 0, 3);
  color::ColorProfile profile;
  if (!profile.Open(parsed.positional[1])) {
    std::fprintf(stderr, "%s: %s\n", kProgram, profile.LastError().c_str());
    return kExitFailed;
  }
  std::string output = parsed.Option("--output").value_or(
      profile.Header().deviceClass == color::kClassOutput ? "VIVIDICM_prn.txt" : "VIVIDICM_mntr.txt");
  if (output.empty()) throw UsageError("--output needs a file name");
  if (!profile.Dump(output, intent)) {
    std::fprintf(stderr, "%s: cannot write %s\n", kProgram, output.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int RunIcc(std::span<const std::string> args) {
  static constexpr OptionDef kOptions[] = {{"--intent"}, {"--output"}};
  const ParsedArgs parsed = ParseArgs(args, kOptions);
  if (parsed.positional.empty()) throw UsageError("icc needs 'list' or 'dump'");
  const std::string& action = parsed.positional[0];
  if (action == "list") {
    if (parsed.Option("--intent") || parsed.Option("--output")) throw UsageError("icc list takes no options");
    return ListProfiles(parsed);
  }
  if (action == "dump") return DumpProfile(parsed);
  throw UsageError("unknown icc action '" + action + "' (list or dump)");
}

}  // namespace cli
