// The program: one window that bridges ACARS decoders to TCP clients.

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/bridge.h"
#include "app/single_copy.h"
#include "pipeline/single_byte_text.h"
#include "settings/settings_file.h"
#include "ui/main_window.h"

namespace {

// The command line's words after the program's name.
std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count && words; ++i)
    arguments.push_back(ToSingleByte(reinterpret_cast<const char16_t*>(words[i])));
  LocalFree(words);
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::vector<std::string> arguments = Arguments();
  Settings settings;
  try {
    settings = LoadSettings(arguments);
  } catch (const SettingsError& e) {
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(ToUtf16(e.what()).c_str()), app::kCaption,
                MB_OK | MB_ICONERROR);
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
