// "save Printer ICM" and "save Monitor ICM": the text dump of the chosen
// output (printer) or display (monitor) profile, with the chosen rendering
// intent, written to "VIVIDICM_prn.txt" or "VIVIDICM_mntr.txt" in a folder
// (the editor passes its working folder, CurrentAppSettings().paths.workPath).
//
// The dump is ColorProfile::Dump's text, the same the command line's
// `icc dump PROFILE --intent N` writes. The file is made anew each time,
// under a temporary name in the folder and renamed over the target once
// complete, so a failed write leaves any earlier dump as it was.
//
// Refusals, each shown through platform::ShowMessage and answered with
// nullopt: no profile chosen ("No printer profile is chosen. Choose one
// under Color Management ..."; "monitor" for the display profile), a profile
// that cannot be opened ("Cannot read the profile PATH: REASON."), and a
// file that cannot be written ("Cannot write PATH: REASON.").
#pragma once

#include <optional>
#include <string>

namespace color {
struct ColorManagementSettings;
}

namespace app {

inline constexpr char kPrinterDumpName[] = "VIVIDICM_prn.txt";
inline constexpr char kMonitorDumpName[] = "VIVIDICM_mntr.txt";

// Dumps settings.outputPath into FOLDER/VIVIDICM_prn.txt; the written path
// on success. An empty folder means the current folder.
std::optional<std::string> SavePrinterIcm(const color::ColorManagementSettings& settings, const std::string& folder);
// Dumps settings.displayPath into FOLDER/VIVIDICM_mntr.txt.
std::optional<std::string> SaveMonitorIcm(const color::ColorManagementSettings& settings, const std::string& folder);

}  // namespace app
