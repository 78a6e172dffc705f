// vividrome: the editor's window.
//   vividrome [FILE ...]                      opens the files
//   vividrome /p FILE                         prints FILE on the default printer
//   vividrome /pt FILE PRINTER DRIVER PORT    prints FILE on that printer
// One instance runs per user: a later start hands its command to the
// running one and ends (at once when it has none).
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "app/cmyk_setup_dialog.h"
#include "app/color_management_dialog.h"
#include "app/file_types.h"
#include "app/main_window.h"
#include "app/recovery.h"
#include "app/shell_command.h"
#include "app/shell_print.h"
#include "app/single_instance.h"
#include "color/color_settings.h"
#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "platform/prompts.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_messages.h"
#include "platform/qt/qt_progress.h"
#include "platform/qt/qt_prompts.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_text_rasterizer.h"

namespace {

constexpr int kExitUsage = 2;

// The folder WorkPath and ImagePath start at: the user's pictures folder
// when there is one, else the home folder; with a closing '/'.
std::string DefaultFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  if (!folder.endsWith('/')) folder += '/';
  return folder.toStdString();
}

// The execute string of the command line, every file made absolute.
QString ExecuteStringOf(std::vector<app::ShellCommand> commands) {
  std::string text;
  for (app::ShellCommand& command : commands) {
    command.file = QFileInfo(QString::fromStdString(command.file)).absoluteFilePath().toStdString();
    text += app::BuildExecuteString(command);
  }
  return QString::fromStdString(text);
}

}  // namespace

// The Options menu's choices (measuring unit, halftoning), kept between
// runs; a stored value outside a list is read as its first entry.
static void LoadOptionChoices(const platform::Settings& settings) {
  CToolSettings& tools = ToolSettings();
  const auto choice = [&](std::string_view key, int count) {
    const int value = settings.GetInt("Settings", key, 0);
    return value >= 0 && value < count ? value : 0;
  };
  tools.measureUnit = static_cast<MeasureUnit>(choice("Units", 3));
  tools.halftoneMethod = static_cast<HalftoneMethod>(choice("HalftoneMethod", 2));
  tools.halftoneSetting = static_cast<HalftoneSetting>(choice("HalftoneSetting", 2));
  tools.halftoneBlack = static_cast<HalftoneBlack>(choice("HalftoneBlack", 3));
}

static void SaveOptionChoices(platform::Settings& settings) {
  const CToolSettings& tools = ToolSettings();
  settings.SetInt("Settings", "Units", static_cast<int>(tools.measureUnit));
  settings.SetInt("Settings", "HalftoneMethod", static_cast<int>(tools.halftoneMethod));
  settings.SetInt("Settings", "HalftoneSetting", static_cast<int>(tools.halftoneSetting));
  settings.SetInt("Settings", "HalftoneBlack", static_cast<int>(tools.halftoneBlack));
}

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName("Morvane");
  QApplication::setApplicationName("Vividrome");
  QApplication::setApplicationDisplayName("Vividrome");

  const QStringList arguments = QApplication::arguments();
  std::vector<std::string> words;
  for (qsizetype i = 1; i < arguments.size(); ++i) words.push_back(arguments[i].toStdString());
  const app::CommandLine commandLine = app::ParseCommandLine(words);
  if (!commandLine.Ok()) {
    std::fprintf(stderr, "vividrome: %s\n%s\n", commandLine.error.c_str(), app::kCommandLineUsage);
    return kExitUsage;
  }
  const QString message = ExecuteStringOf(commandLine.commands);
  const bool printing = !commandLine.commands.empty() && commandLine.commands.front().action != app::ShellAction::Open;

  // The message boxes also serve a print started from the command line.
  static platform::QtMessageSink messages;
  platform::SetMessageSink(&messages);

  // Settings, read by a print from the command line and by the running
  // editor (a second start that only forwards its command reads none): the
  // machine strings (written back with their defaults), the display gamma,
  // the last image folder, where Open starts, the Options choices, the
  // colour settings and the separation curves.
  platform::QtSettings settings;
  app::AppSettings& state = app::CurrentAppSettings();
  const auto loadSettings = [&] {
    state.paths = app::LoadMachinePaths(settings, DefaultFolder());
    state.gamma = app::LoadGamma(settings);
    CVividDoc::SetLastDirectory(state.paths.imagePath);
    LoadOptionChoices(settings);
    color::ColorManagementSettings colorManagement;
    colorManagement.Load(settings);
    // The machine strings name the profiles when the colour settings do not.
    for (auto [path, machine] : {std::pair{&colorManagement.inputPath, &state.paths.icmScanner},
                                 std::pair{&colorManagement.displayPath, &state.paths.icmMonitor},
                                 std::pair{&colorManagement.outputPath, &state.paths.icmPrinter},
                                 std::pair{&colorManagement.separationPath, &state.paths.icmSeparate}})
      if (path->empty()) *path = *machine;
    app::ApplyColorManagement(colorManagement);
    app::SetSeparationCurvesFile(
        (QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/separation.cck").toStdString());
  };

  app::SingleInstance instance;
  if (printing) {
    // A print goes to the running editor; without one it is done here,
    // without a window.
    if (instance.Send(message)) return 0;
    loadSettings();
    const app::ShellCommand& command = commandLine.commands.front();
    const app::ShellPrintOutcome outcome = app::PrintFileOnQueue(command.file, command.printer);
    if (!outcome.message.empty()) std::fprintf(stderr, "vividrome: %s\n", outcome.message.c_str());
    platform::SetMessageSink(nullptr);
    return outcome.printed ? 0 : 1;
  }
  switch (instance.Claim(message)) {
    case app::SingleInstance::Role::Second:
      return 0;
    case app::SingleInstance::Role::Failed:
      // Run on alone: a window without forwarding beats none.
      std::fprintf(stderr, "vividrome: %s\n", instance.ErrorText().toLocal8Bit().constData());
      break;
    case app::SingleInstance::Role::First:
      break;
  }
  loadSettings();

  // The platform services through Qt: the file and option dialogs, the
  // desktop's clipboard, events pumped while long operations report
  // progress, and fonts for the text tool.
  static platform::QtPrompts prompts;
  platform::SetPrompts(&prompts);
  static platform::QtClipboard clipboard;
  platform::SetClipboard(&clipboard);
  platform::InstallQtProgressPump();
  platform::InstallQtTextRasterizer();

  app::FileTypeRegistrar registrar;
  int status = 0;
  {
    app::MainWindow window;
    window.SetRecentFileSettings(&settings);
    window.RestoreControlBars(settings);
    if (const std::optional<app::WindowPlacement> placement = app::LoadWindowPlacement(settings))
      window.ApplyPlacement(*placement);
    window.show();
    // Copies of the modified documents every three minutes for crash
    // recovery; what a crash left behind is offered back first.
    window.EnableRecovery(app::Recovery::DefaultFolder(), 3 * 60 * 1000);
    window.OfferRecovery();
    instance.SetHandler([&window](const QString& text) { window.ExecuteShellCommand(text); });
    if (!message.isEmpty()) window.ExecuteShellCommand(message);
    registrar.Start();

    status = QApplication::exec();

    instance.SetHandler({});
    app::SaveWindowPlacement(settings, window.CurrentPlacement());
    window.SaveControlBars(settings);
    window.SetRecentFileSettings(nullptr);
  }
  if (!CVividDoc::GetLastDirectory().empty()) state.paths.imagePath = CVividDoc::GetLastDirectory();
  app::SaveMachinePaths(settings, state.paths);
  app::SaveGamma(settings, state.gamma);
  SaveOptionChoices(settings);
  registrar.Wait();
  platform::SetClipboard(nullptr);
  platform::SetPrompts(nullptr);
  platform::SetMessageSink(nullptr);
  return status;
}
