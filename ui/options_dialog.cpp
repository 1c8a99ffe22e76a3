#include "ui/options_dialog.h"

#include <windowsx.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "pipeline/single_byte_text.h"
#include "settings/settings_file.h"
#include "settings/start_with_windows.h"
#include "ui/local_addresses.h"
#include "ui/options_ids.h"
#include "win32/wide_text.h"

namespace {

// One field of the dialog: its control, the key it edits, and the name the
// messages give it.
struct Field {
  enum class Kind { Edit, Check, Address, List, Source };
  int Control;
  const char* Key;
  const char* Label;
  Kind Type;
};

// In the tab order of the dialog: OK checks them in this order, so the
// first bad field in the tab order is the one reported.
constexpr Field kFields[] = {
    {IDC_OPTIONS_PORT, "port", "Client port", Field::Kind::Edit},
    {IDC_OPTIONS_BIND, "bind", "Listen on", Field::Kind::Address},
    {IDC_OPTIONS_MAX_CLIENTS, "max-clients", "Clients served at once", Field::Kind::Edit},
    {IDC_OPTIONS_RELINK, "relink-seconds", "Re-link every", Field::Kind::Edit},
    {IDC_OPTIONS_SILENCE, "silence-minutes", "Report silence after", Field::Kind::Edit},
    {IDC_OPTIONS_DEDUP, "dedup-seconds", "Drop duplicates within", Field::Kind::Edit},
    {IDC_OPTIONS_MINIMIZED, "minimized", "Start minimized", Field::Kind::Check},
    {IDC_OPTIONS_DEBUG_LOG, "debug-log", "Debug log on from the start", Field::Kind::Check},
    {IDC_OPTIONS_CAPTURE, "capture", "Folder of the capture files", Field::Kind::Edit},
    {IDC_OPTIONS_CAPTURE_DAYS, "capture-days", "Capture files kept", Field::Kind::Edit},
    {IDC_OPTIONS_HTTP, "listen", "Status page", Field::Kind::Edit},
    {IDC_OPTIONS_STATION_ID, "station-id", "Station id", Field::Kind::Edit},
    {IDC_OPTIONS_FREQ, "freq", "Frequency", Field::Kind::Edit},
    {IDC_OPTIONS_FREQ_SKYSPY, "freq-skyspy", "SkySpy frequency", Field::Kind::Edit},
    {IDC_OPTIONS_FREQ_WINACARS, "freq-winacars", "Airmaster (WinACARS) frequency", Field::Kind::Edit},
    {IDC_OPTIONS_FREQ_ANAD, "freq-anad", "AirNav (ANAD) frequency", Field::Kind::Edit},
    {IDC_OPTIONS_FREQ_POSFIX, "freq-posfix", "Posfix (POSFIX) frequency", Field::Kind::Edit},
    {IDC_OPTIONS_OUT_LIST, "json-out", "JSON outputs", Field::Kind::List},
    {IDC_OPTIONS_IN_LIST, "json-in", "JSON inputs", Field::Kind::List},
    {IDC_OPTIONS_JSON_SOURCE, "json-source", "Record source of JSON feeds", Field::Kind::Source},
};

constexpr const char* kEveryInterface = "every interface";
constexpr const char* kSources[] = {"0 (SkySpy)", "1 (Airmaster)", "2", "3 (AirNav, Posfix)"};
constexpr const wchar_t* kTitle = L"Options";

std::string ControlText(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return Utf8FromWide(text);
}

std::string ListItem(HWND list, int index) {
  const auto length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return "";
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return Utf8FromWide(text);
}

// Adds or inserts an item of a list box or combo box (the wide call: the
// program is not built for UNICODE, so the windowsx.h macros would send the
// narrow message).
void AddItem(HWND control, UINT message, const std::string& text, WPARAM at = 0) {
  SendMessageW(control, message, at, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
}

const Field* FieldOf(const std::string& key) {
  for (const Field& field : kFields) {
    if (key == field.Key) return &field;
  }
  return nullptr;
}

}  // namespace

OptionsDialog::OptionsDialog(HINSTANCE instance, OptionsChoices choices)
    : mInstance(instance), mChoices(std::move(choices)) {}

HWND OptionsDialog::sOpen = nullptr;

bool OptionsDialog::Show(HWND owner) {
  return DialogBoxParamW(mInstance, MAKEINTRESOURCEW(IDD_OPTIONS), owner, DialogProc, reinterpret_cast<LPARAM>(this)) ==
         IDOK;
}

INT_PTR CALLBACK OptionsDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<OptionsDialog*>(lParam)->mDialog = dialog;
    sOpen = dialog;
  } else if (message == WM_DESTROY && dialog == sOpen) {
    sOpen = nullptr;
  }
  auto* self = reinterpret_cast<OptionsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR OptionsDialog::Handle(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      Fill();
      return TRUE;  // the focus goes to the first field
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

void OptionsDialog::Fill() {
  SetDlgItemTextW(mDialog, IDC_OPTIONS_FILE, WideFromUtf8("Settings file: " + mChoices.FilePath).c_str());
  // The file's values, the defaults where it has none.
  auto valueOf = [&](const SettingKey& key) {
    const auto section = mChoices.File.find(key.Section);
    if (section == mChoices.File.end()) return key.Default;
    const auto value = section->second.find(key.Key);
    return value == section->second.end() ? key.Default : value->second;
  };
  for (const SettingKey& key : SettingKeys()) {
    const Field* field = FieldOf(key.Key);
    if (!field) continue;
    const std::string value = valueOf(key);
    const HWND control = GetDlgItem(mDialog, field->Control);
    switch (field->Type) {
      case Field::Kind::Edit:
        SetWindowTextW(control, WideFromUtf8(value).c_str());
        break;
      case Field::Kind::Check:
        Button_SetCheck(control, value == "1" ? BST_CHECKED : BST_UNCHECKED);
        break;
      case Field::Kind::Address: {
        std::vector<std::string> choices = mChoices.Addresses;
        const bool every = value.empty() || value == "0.0.0.0";
        // An address the file names that this PC lacks now stays a choice.
        if (!every && std::find(choices.begin(), choices.end(), value) == choices.end()) choices.push_back(value);
        AddItem(control, CB_ADDSTRING, kEveryInterface);
        for (const std::string& address : choices) AddItem(control, CB_ADDSTRING, address);
        const auto at = std::find(choices.begin(), choices.end(), value);
        ComboBox_SetCurSel(control, every ? 0 : static_cast<int>(at - choices.begin()) + 1);
        break;
      }
      case Field::Kind::List:
        for (const std::string& word : Words(value)) AddItem(control, LB_ADDSTRING, word);
        break;
      case Field::Kind::Source:
        for (const char* source : kSources) AddItem(control, CB_ADDSTRING, source);
        if (value.size() == 1 && value[0] >= '0' && value[0] <= '3') ComboBox_SetCurSel(control, value[0] - '0');
        break;
    }
  }
  mShownStart = StartsWithWindows();
  Button_SetCheck(GetDlgItem(mDialog, IDC_OPTIONS_START_WITH_WINDOWS), mShownStart ? BST_CHECKED : BST_UNCHECKED);
  // What the fields show now, as OK would read them: OK writes only what
  // differs, so that what changed in the file meanwhile (by hand, by
  // another program) stays.
  for (const Field& field : kFields) mShown[field.Key] = FieldValue(field.Control);

  std::string overridden;
  for (const std::string& key : mChoices.Overridden) {
    const Field* field = FieldOf(key);
    overridden += (overridden.empty() ? "" : ", ") + std::string(field ? field->Label : key.c_str());
  }
  if (!overridden.empty()) {
    SetDlgItemTextW(mDialog, IDC_OPTIONS_OVERRIDES,
                    WideFromUtf8("For this run the command line overrides the file's " + overridden +
                                 ". The file gets what you set here.")
                        .c_str());
  }
}

void OptionsDialog::OnCommand(int id, int code) {
  switch (id) {
    case IDOK:
      if (Accept()) EndDialog(mDialog, IDOK);
      break;
    case IDCANCEL:
      EndDialog(mDialog, IDCANCEL);
      break;
    case IDC_OPTIONS_OUT_ADD:
      AddToList(IDC_OPTIONS_OUT_EDIT, IDC_OPTIONS_OUT_LIST, "json-out", "JSON output");
      break;
    case IDC_OPTIONS_OUT_CHANGE:
      ChangeInList(IDC_OPTIONS_OUT_EDIT, IDC_OPTIONS_OUT_LIST, "json-out", "JSON output");
      break;
    case IDC_OPTIONS_OUT_REMOVE:
      RemoveFromList(IDC_OPTIONS_OUT_LIST);
      break;
    case IDC_OPTIONS_IN_ADD:
      AddToList(IDC_OPTIONS_IN_EDIT, IDC_OPTIONS_IN_LIST, "json-in", "JSON input");
      break;
    case IDC_OPTIONS_IN_CHANGE:
      ChangeInList(IDC_OPTIONS_IN_EDIT, IDC_OPTIONS_IN_LIST, "json-in", "JSON input");
      break;
    case IDC_OPTIONS_IN_REMOVE:
      RemoveFromList(IDC_OPTIONS_IN_LIST);
      break;
    case IDC_OPTIONS_OUT_LIST:
    case IDC_OPTIONS_IN_LIST:
      // The chosen entry goes into the edit line above, to be edited there.
      if (code == LBN_SELCHANGE) {
        const HWND list = GetDlgItem(mDialog, id);
        const int edit = id == IDC_OPTIONS_OUT_LIST ? IDC_OPTIONS_OUT_EDIT : IDC_OPTIONS_IN_EDIT;
        SetDlgItemTextW(mDialog, edit, WideFromUtf8(ListItem(list, ListBox_GetCurSel(list))).c_str());
      }
      break;
    default:
      break;
  }
}

std::string OptionsDialog::FieldValue(int control) const {
  const HWND window = GetDlgItem(mDialog, control);
  for (const Field& field : kFields) {
    if (field.Control != control) continue;
    switch (field.Type) {
      case Field::Kind::Edit:
        return Trim(ControlText(window));
      case Field::Kind::Check:
        return Button_GetCheck(window) == BST_CHECKED ? "1" : "0";
      case Field::Kind::Address: {
        const int chosen = ComboBox_GetCurSel(window);
        return chosen <= 0 ? "" : ControlText(window);
      }
      case Field::Kind::List: {
        std::string joined;
        for (int i = 0; i < ListBox_GetCount(window); ++i) joined += (joined.empty() ? "" : " ") + ListItem(window, i);
        return joined;
      }
      case Field::Kind::Source: {
        const int chosen = ComboBox_GetCurSel(window);
        return chosen < 0 ? "" : std::to_string(chosen);
      }
    }
  }
  return "";
}

void OptionsDialog::Refuse(int control, const std::string& message) const {
  MessageBoxW(mDialog, WideFromUtf8(message).c_str(), kTitle, MB_OK | MB_ICONWARNING);
  const HWND window = GetDlgItem(mDialog, control);
  SendMessageW(mDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
}

bool OptionsDialog::Accept() {
  SettingsFile values;
  const std::vector<SettingKey> keys = SettingKeys();
  for (const Field& field : kFields) {
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const SettingKey& k) { return k.Key == field.Key; });
    if (key == keys.end()) continue;
    const std::string value = FieldValue(field.Control);
    // An empty field is "none" where the setting may be left out (station
    // id, frequencies, JSON lists, the capture); elsewhere the rule refuses
    // it.
    const bool none = value.empty() && key->Default.empty();
    if (!none) {
      if (const std::string refused = CheckSetting(key->Key, value, field.Label); !refused.empty()) {
        Refuse(field.Control, refused);
        return false;
      }
    }
    if (value != mShown[field.Key]) values[key->Section][key->Key] = value;
  }
  try {
    SaveSettingsFile(mChoices.FilePath, values);
  } catch (const SettingsError& e) {
    MessageBoxW(mDialog, WideFromUtf8(e.what()).c_str(), kTitle, MB_OK | MB_ICONERROR);
    return false;
  }
  const bool start = Button_GetCheck(GetDlgItem(mDialog, IDC_OPTIONS_START_WITH_WINDOWS)) == BST_CHECKED;
  try {
    if (start != mShownStart) SetStartWithWindows(start);
  } catch (const std::runtime_error& e) {
    // The file is written; only the Run value is missing.
    MessageBoxW(mDialog, WideFromUtf8(e.what()).c_str(), kTitle, MB_OK | MB_ICONERROR);
  }
  mValues = std::move(values);
  return true;
}

void OptionsDialog::AddToList(int edit, int list, const char* key, const char* label) {
  const std::string text = Trim(ControlText(GetDlgItem(mDialog, edit)));
  if (const std::string refused = CheckSetting(key, text, label); !refused.empty()) {
    Refuse(edit, refused);
    return;
  }
  const HWND box = GetDlgItem(mDialog, list);
  for (const std::string& word : Words(text)) AddItem(box, LB_ADDSTRING, word);
  SetDlgItemTextW(mDialog, edit, L"");
}

void OptionsDialog::ChangeInList(int edit, int list, const char* key, const char* label) {
  const HWND box = GetDlgItem(mDialog, list);
  const int chosen = ListBox_GetCurSel(box);
  if (chosen < 0) {
    Refuse(list, "Choose the entry to edit in the list first.");
    return;
  }
  const std::string text = Trim(ControlText(GetDlgItem(mDialog, edit)));
  if (const std::string refused = CheckSetting(key, text, label); !refused.empty()) {
    Refuse(edit, refused);
    return;
  }
  ListBox_DeleteString(box, chosen);
  int at = chosen;
  for (const std::string& word : Words(text)) AddItem(box, LB_INSERTSTRING, word, static_cast<WPARAM>(at++));
  ListBox_SetCurSel(box, chosen);
}

void OptionsDialog::RemoveFromList(int list) {
  const HWND box = GetDlgItem(mDialog, list);
  const int chosen = ListBox_GetCurSel(box);
  if (chosen < 0) return;
  ListBox_DeleteString(box, chosen);
  const int count = ListBox_GetCount(box);
  if (count > 0) ListBox_SetCurSel(box, std::min(chosen, count - 1));
}

std::optional<Settings> EditOptions(HWND owner, HINSTANCE instance, const std::vector<std::string>& arguments) {
  // One dialog at a time: another request (the tray menu's, while the
  // dialog is open) brings the open one to the front.
  if (const HWND open = OptionsDialog::Open()) {
    SetForegroundWindow(open);
    return std::nullopt;
  }
  try {
    const std::string path = SettingsFilePath(arguments);
    OptionsDialog dialog(instance,
                         {path, ReadSettingsFile(path, false), OverriddenKeys(arguments), LocalIpv4Addresses()});
    if (!dialog.Show(owner)) return std::nullopt;
    return ParseSettings(arguments, ReadSettingsFile(path, true));
  } catch (const SettingsError& e) {
    MessageBoxW(owner, WideFromUtf8(e.what()).c_str(), kTitle, MB_OK | MB_ICONERROR);
    return std::nullopt;
  }
}
