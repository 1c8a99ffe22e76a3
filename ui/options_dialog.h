#pragma once
// The Options dialog: every setting of the settings file, checked with the
// command line's own rules when OK is pressed, then what the user changed
// written into the file (its comments, order, encoding and other changes
// kept) and Start with Windows set as checked.
// Modal, on the GUI thread; the caller applies the written values to the
// running program (see Values) after Show returns true.

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"

// What the dialog starts from.
struct OptionsChoices {
  std::string FilePath;                 // the settings file OK writes, shown at the top
  SettingsFile File;                    // the values the file holds now
  std::vector<std::string> Overridden;  // keys the command line sets for this run
  std::vector<std::string> Addresses;   // this PC's IPv4 addresses, to listen on
};

class OptionsDialog {
 public:
  OptionsDialog(HINSTANCE instance, OptionsChoices choices);
  OptionsDialog(const OptionsDialog&) = delete;
  OptionsDialog& operator=(const OptionsDialog&) = delete;

  // Shows the dialog over `owner` until OK has written the file (true) or
  // the user cancelled (false: nothing was written).
  bool Show(HWND owner);
  // Every key OK wrote, the ones the user changed, with its value ("" for
  // none).
  const SettingsFile& Values() const { return mValues; }
  // The dialog on the screen, or null: there is one at a time.
  static HWND Open() { return sOpen; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Fill();
  void OnCommand(int id, int code);
  // OK: every field checked, then the file and the Run value written; false
  // (and the dialog stays) when a field is bad or the file cannot be written.
  bool Accept();
  // A field's text as the file would hold it.
  std::string FieldValue(int control) const;
  // Tells the user what is wrong and puts the focus on the control.
  void Refuse(int control, const std::string& message) const;
  // Add, Edit and Remove of a JSON list.
  void AddToList(int edit, int list, const char* key, const char* label);
  void ChangeInList(int edit, int list, const char* key, const char* label);
  void RemoveFromList(int list);

  HINSTANCE mInstance;
  OptionsChoices mChoices;
  HWND mDialog = nullptr;
  SettingsFile mValues;
  std::map<std::string, std::string> mShown;  // each key's field as Fill left it
  bool mShownStart = false;                   // Start with Windows as shown
  static HWND sOpen;
};

// File > Options... and the tray menu's Options: the dialog for this run's
// settings file (see SettingsFilePath) over `owner`. After OK, the settings
// the program runs with from now on: the written file's, overridden by the
// command line `arguments` as at the start. Nothing on Cancel, or when the
// file cannot be read or read back (the user is told why).
std::optional<Settings> EditOptions(HWND owner, HINSTANCE instance, const std::vector<std::string>& arguments);
