// The program: one window that bridges ACARS decoders to TCP clients.

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/bridge.h"
#include "app/single_copy.h"
#include "settings/settings_file.h"
#include "ui/main_window.h"
#include "win32/wide_text.h"

namespace {

// The command line's words after the program's name, in UTF-8 (a path may
// hold any character).
std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count && words; ++i) arguments.push_back(Utf8FromWide(words[i]));
  LocalFree(words);
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::vector<std::string> arguments;
  Settings settings;
  try {
    arguments = WorkInSettingsFolder(Arguments());
    settings = LoadSettings(arguments);
  } catch (const SettingsError& e) {
    MessageBoxW(nullptr, WideFromUtf8(e.what()).c_str(), app::kCaption, MB_OK | MB_ICONERROR);
    return 2;
  }
  // One copy per port: a second start shows the first copy and ends.
  const UniqueKernelHandle claim = single_copy::ClaimPort(settings.Port);
  if (!claim && single_copy::ShowRunningCopy(settings.Port, 5000)) return 0;
  // The bridge outlives the window: the window goes first.
  Bridge bridge(settings);
  bridge.SetSettingsFile(SettingsFilePath(arguments));
  frmMain form(instance, bridge, arguments);
  return form.Run();
}
