// The Options dialog driven through its controls from a second thread while
// the test's thread runs it, as a user would: values typed, boxes clicked,
// OK and Cancel pressed, the messages read back.

#include "ui/options_dialog.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings_file.h"
#include "settings/settings_text.h"
#include "settings/start_with_windows.h"
#include "support/keyboard.h"
#include "support/message_pump.h"
#include "support/temp_working_dir.h"
#include "ui/options_ids.h"
#include "win32/wide_text.h"

namespace {

// The first visible window of `thread` that `match` takes.
HWND ThreadWindow(DWORD thread, const std::function<bool(HWND)>& match) {
  struct Search {
    const std::function<bool(HWND)>* match;
    HWND found = nullptr;
  } search{&match};
  EnumThreadWindows(
      thread,
      [](HWND w, LPARAM l) -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        if (IsWindowVisible(w) && (*s->match)(w)) s->found = w;
        return s->found == nullptr;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string Text(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Drives one showing of the dialog.
class Driver {
 public:
  Driver(HWND dialog, DWORD thread) : dialog_(dialog), thread_(thread) {}
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  std::string ItemText(int id) const { return Text(Item(id)); }
  void Type(int id, const char* text) const { SetDlgItemTextA(dialog_, id, text); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  // A click whose handler may open a message box: posted, not sent.
  void Click(int id) const { PostMessageW(Item(id), BM_CLICK, 0, 0); }
  std::vector<std::string> List(int id) const {
    std::vector<std::string> items;
    for (LRESULT i = 0; i < SendMessageW(Item(id), LB_GETCOUNT, 0, 0); ++i) {
      char text[256] = {};
      SendMessageA(Item(id), LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      items.emplace_back(text);
    }
    return items;
  }
  // The message box the dialog shows, read and closed; with the control
  // that has the focus afterwards.
  std::pair<std::string, int> TakeMessage() const {
    HWND box = nullptr;
    if (!WaitWithoutPumping([&] {
          return (box = ThreadWindow(thread_, [&](HWND w) { return GetWindow(w, GW_OWNER) == dialog_; })) != nullptr;
        })) {
      return {"(no message)", 0};
    }
    const std::string text = Text(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitWithoutPumping([&] { return !IsWindow(box); });
    // Answered once the dialog's thread is back in its message loop, after
    // the handler that showed the box has moved the focus.
    SendMessageW(dialog_, WM_NULL, 0, 0);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(thread_, &info);
    return {text, GetDlgCtrlID(info.hwndFocus)};
  }

 private:
  HWND dialog_;
  DWORD thread_;
};

class OptionsDialogTest : public InTempWorkingDir {
 protected:
  void SetUp() override {
    InTempWorkingDir::SetUp();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
  }
  void TearDown() override {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
    InTempWorkingDir::TearDown();
  }

  // Shows the dialog for the file `name` on this thread while `script`
  // drives it; the dialog is cancelled if the script leaves it open.
  bool Run(const std::string& name, const std::function<void(const Driver&)>& script,
           std::vector<std::string> overridden = {}) {
    path_ = (dir_ / name).string();
    OptionsDialog dialog(GetModuleHandleW(nullptr),
                         {path_, ReadSettingsFile(path_, false), std::move(overridden), {"127.0.0.1", "192.0.2.7"}});
    const DWORD thread = GetCurrentThreadId();
    std::thread driver([&] {
      HWND found = nullptr;
      if (!WaitWithoutPumping([&] {
            return (found = ThreadWindow(thread, [](HWND w) { return GetDlgItem(w, IDC_OPTIONS_PORT); })) != nullptr;
          })) {
        return;
      }
      script(Driver(found, thread));
      // Whatever the script left open is closed: a message box, then the
      // dialog.
      WaitWithoutPumping([&] {
        if (HWND box = ThreadWindow(thread, [&](HWND w) { return GetWindow(w, GW_OWNER) == found; })) {
          PostMessageW(box, WM_COMMAND, IDOK, 0);
        } else if (IsWindow(found)) {
          PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
        }
        Sleep(50);
        return !IsWindow(found);
      });
    });
    const bool accepted = dialog.Show(nullptr);
    driver.join();
    values_ = dialog.Values();
    return accepted;
  }

  std::string path_;
  SettingsFile values_;
};

const char* const kFile =
    "; my bridge\r\n[server]\r\nport=2402\r\n;bind=127.0.0.1\r\n\r\n[window]\r\nminimized=1\r\n\r\n[json]\r\n"
    "json-out=udp:127.0.0.1:5550 serve:5551\r\nfreq=131.725\r\njson-source=1\r\n";

void Write(const std::string& text) {
  std::ofstream("TolvanDDE.ini", std::ios::binary) << text;
}

}  // namespace

TEST_F(OptionsDialogTest, ItShowsTheFilesValuesAndCancelWritesNothing) {
  Write(kFile);
  std::map<int, std::string> shown;
  std::vector<std::string> outputs;
  bool minimized = false, debugLog = true;
  const bool accepted =
      Run("TolvanDDE.ini",
          [&](const Driver& d) {
            for (int id : {IDC_OPTIONS_FILE, IDC_OPTIONS_PORT, IDC_OPTIONS_BIND, IDC_OPTIONS_MAX_CLIENTS,
                           IDC_OPTIONS_RELINK, IDC_OPTIONS_FREQ, IDC_OPTIONS_JSON_SOURCE, IDC_OPTIONS_OVERRIDES}) {
              shown[id] = d.ItemText(id);
            }
            shown[IDC_OPTIONS_HTTP] = d.ItemText(IDC_OPTIONS_HTTP);
            outputs = d.List(IDC_OPTIONS_OUT_LIST);
            minimized = d.Checked(IDC_OPTIONS_MINIMIZED);
            debugLog = d.Checked(IDC_OPTIONS_DEBUG_LOG);
            d.Type(IDC_OPTIONS_PORT, "2999");
            d.Click(IDCANCEL);
          },
          {"port", "debug-log"});
  EXPECT_FALSE(accepted);
  EXPECT_EQ(shown[IDC_OPTIONS_FILE], "Settings file: " + path_);
  EXPECT_EQ(shown[IDC_OPTIONS_PORT], "2402");
  EXPECT_EQ(shown[IDC_OPTIONS_BIND], "every interface");
  EXPECT_EQ(shown[IDC_OPTIONS_MAX_CLIENTS], "1");  // the default
  EXPECT_EQ(shown[IDC_OPTIONS_RELINK], "5");
  EXPECT_EQ(shown[IDC_OPTIONS_FREQ], "131.725");
  EXPECT_EQ(shown[IDC_OPTIONS_JSON_SOURCE], "1 (Airmaster)");
  EXPECT_EQ(shown[IDC_OPTIONS_HTTP], "127.0.0.1:8221");  // the default
  EXPECT_EQ(shown[IDC_OPTIONS_OVERRIDES],
            "For this run the command line overrides the file's Client port, Debug log on from the start. The file "
            "gets what you set here.");
  EXPECT_EQ(outputs, (std::vector<std::string>{"udp:127.0.0.1:5550", "serve:5551"}));
  EXPECT_TRUE(minimized);
  EXPECT_FALSE(debugLog);
  EXPECT_EQ(ReadFile("TolvanDDE.ini"), kFile);
}

TEST_F(OptionsDialogTest, ABadValueIsRefusedWithTheCommandLinesMessageAndGetsTheFocus) {
  Write(kFile);
  std::vector<std::pair<std::string, int>> messages;
  std::string fileMeanwhile;
  const bool accepted = Run("TolvanDDE.ini", [&](const Driver& d) {
    d.Type(IDC_OPTIONS_MAX_CLIENTS, "65");
    d.Type(IDC_OPTIONS_SILENCE, "soon");
    d.Click(IDOK);
    messages.push_back(d.TakeMessage());
    d.Type(IDC_OPTIONS_MAX_CLIENTS, "64");
    d.Click(IDOK);
    messages.push_back(d.TakeMessage());
    fileMeanwhile = ReadFile("TolvanDDE.ini");
    d.Type(IDC_OPTIONS_SILENCE, "60");
    d.Type(IDC_OPTIONS_CAPTURE_DAYS, "0");
    d.Click(IDOK);
    messages.push_back(d.TakeMessage());
    d.Type(IDC_OPTIONS_CAPTURE_DAYS, "7");
    d.Type(IDC_OPTIONS_HTTP, "0.0.0.0:65536");
    d.Click(IDOK);
    messages.push_back(d.TakeMessage());
    d.Type(IDC_OPTIONS_HTTP, "0.0.0.0:65535");
    d.Click(IDOK);
    WaitWithoutPumping([&] { return !IsWindow(d.Item(IDOK)); });
  });
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[3].first,
            "Status page 0.0.0.0:65536: [ADDRESS:]PORT such as 8221 or 0.0.0.0:8221, 0 for none (default "
            "127.0.0.1:8221) is allowed.");
  EXPECT_EQ(messages[3].second, IDC_OPTIONS_HTTP);
  EXPECT_EQ(messages[2].first, "Capture files kept 0: a whole number from 1 to 3650 (default 7) is allowed.");
  EXPECT_EQ(messages[2].second, IDC_OPTIONS_CAPTURE_DAYS);
  EXPECT_EQ(messages[0].first, "Clients served at once 65: a whole number from 1 to 64 (default 1) is allowed.");
  EXPECT_EQ(messages[0].second, IDC_OPTIONS_MAX_CLIENTS);
  EXPECT_EQ(messages[1].first,
            "Report silence after soon: a whole number from 0 (never) to 10080 (default 30) is allowed.");
  EXPECT_EQ(messages[1].second, IDC_OPTIONS_SILENCE);
  EXPECT_EQ(fileMeanwhile, kFile);  // nothing written until every field is good
  EXPECT_TRUE(accepted);
  const Settings s = LoadSettings({"--ini", path_});
  EXPECT_EQ(s.MaxClients, 64);
  EXPECT_EQ(s.SilenceMinutes, 60);
  EXPECT_EQ(s.HttpAddress, "0.0.0.0");
  EXPECT_EQ(s.HttpPort, 65535);
}

TEST_F(OptionsDialogTest, OkWritesEveryChangeIntoTheFileKeepingItsComments) {
  Write(kFile);
  std::pair<std::string, int> refused;
  const bool accepted = Run("TolvanDDE.ini", [&](const Driver& d) {
    d.Type(IDC_OPTIONS_PORT, "2403");
    SendMessageW(d.Item(IDC_OPTIONS_BIND), CB_SETCURSEL, 2, 0);  // 192.0.2.7
    d.Click(IDC_OPTIONS_MINIMIZED);
    d.Click(IDC_OPTIONS_DEBUG_LOG);
    d.Type(IDC_OPTIONS_STATION_ID, "XX-TEST");
    d.Type(IDC_OPTIONS_DEDUP, "30");
    d.Type(IDC_OPTIONS_CAPTURE, "C:\\ACARS capture");
    d.Type(IDC_OPTIONS_CAPTURE_DAYS, "14");
    d.Type(IDC_OPTIONS_FREQ, "");
    d.Type(IDC_OPTIONS_FREQ_ANAD, "131.45");
    // JSON outputs: one removed, one refused, one added, one edited.
    SendMessageW(d.Item(IDC_OPTIONS_OUT_LIST), LB_SETCURSEL, 1, 0);
    d.Click(IDC_OPTIONS_OUT_REMOVE);
    WaitWithoutPumping([&] { return d.List(IDC_OPTIONS_OUT_LIST).size() == 1; });
    d.Type(IDC_OPTIONS_OUT_EDIT, "udp:5550");
    d.Click(IDC_OPTIONS_OUT_ADD);
    refused = d.TakeMessage();
    d.Type(IDC_OPTIONS_OUT_EDIT, "tcp:pi.lan:5550");
    d.Click(IDC_OPTIONS_OUT_ADD);
    WaitWithoutPumping([&] { return d.List(IDC_OPTIONS_OUT_LIST).size() == 2; });
    SendMessageW(d.Item(IDC_OPTIONS_OUT_LIST), LB_SETCURSEL, 0, 0);
    d.Type(IDC_OPTIONS_OUT_EDIT, "udp:127.0.0.1:5560");
    d.Click(IDC_OPTIONS_OUT_CHANGE);
    WaitWithoutPumping([&] { return d.List(IDC_OPTIONS_OUT_LIST)[0] == "udp:127.0.0.1:5560"; });
    d.Type(IDC_OPTIONS_IN_EDIT, "udp:5570,source=0");
    d.Click(IDC_OPTIONS_IN_ADD);
    WaitWithoutPumping([&] { return d.List(IDC_OPTIONS_IN_LIST).size() == 1; });
    SendMessageW(d.Item(IDC_OPTIONS_JSON_SOURCE), CB_SETCURSEL, 3, 0);
    d.Click(IDOK);
    WaitWithoutPumping([&] { return !IsWindow(d.Item(IDOK)); });
  });
  EXPECT_EQ(refused.first,
            "JSON output udp:5550: udp:HOST:PORT, tcp:HOST:PORT, serve:PORT or serve:ADDRESS:PORT is allowed.");
  EXPECT_EQ(refused.second, IDC_OPTIONS_OUT_EDIT);
  ASSERT_TRUE(accepted);
  EXPECT_EQ(
      ReadFile("TolvanDDE.ini"),
      "; my bridge\r\n[server]\r\nport=2403\r\n;bind=127.0.0.1\r\nbind=192.0.2.7\r\n\r\n[window]\r\ndebug-log=1\r\n"
      "minimized=0\r\n\r\n[json]\r\njson-out=udp:127.0.0.1:5560 tcp:pi.lan:5550\r\njson-in=udp:5570,source=0\r\n"
      "station-id=XX-TEST\r\nfreq-anad=131.45\r\njson-source=3\r\n\r\n[decoders]\r\ndedup-seconds=30\r\n\r\n"
      "[capture]\r\ncapture=C:\\ACARS capture\r\ncapture-days=14\r\n");
  EXPECT_EQ(values_.at("json").at("freq"), "");
  EXPECT_EQ(values_.at("server").at("port"), "2403");
}

TEST_F(OptionsDialogTest, StartWithWindowsShowsTheRegistryAndOkSetsAndClearsIt) {
  // Set elsewhere: the box shows it.
  const std::wstring command = L"\"D:\\Other\\TolvanDDE.exe\" --minimized";
  RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, command.c_str(),
                  static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  bool shown = false;
  EXPECT_TRUE(Run("new.ini", [&](const Driver& d) {
    shown = d.Checked(IDC_OPTIONS_START_WITH_WINDOWS);
    d.Click(IDC_OPTIONS_START_WITH_WINDOWS);
    d.Click(IDOK);
    WaitWithoutPumping([&] { return !IsWindow(d.Item(IDOK)); });
  }));
  EXPECT_TRUE(shown);
  EXPECT_FALSE(StartsWithWindows());
  EXPECT_EQ(ReadFile("new.ini"), "");  // every value at its default: nothing to write

  EXPECT_TRUE(Run("new.ini", [&](const Driver& d) {
    shown = d.Checked(IDC_OPTIONS_START_WITH_WINDOWS);
    d.Click(IDC_OPTIONS_START_WITH_WINDOWS);
    d.Click(IDOK);
    WaitWithoutPumping([&] { return !IsWindow(d.Item(IDOK)); });
  }));
  EXPECT_FALSE(shown);
  EXPECT_TRUE(StartsWithWindows());
  wchar_t data[1024] = {};
  DWORD size = sizeof data;
  RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_REG_SZ, nullptr, data, &size);
  EXPECT_EQ(std::wstring(data), StartCommand(ThisProgram()));
}

TEST_F(OptionsDialogTest, EditOptionsGivesTheWrittenSettingsWithTheCommandLineOverridingThem) {
  Write(kFile);
  const DWORD thread = GetCurrentThreadId();
  std::string file;
  std::thread driver([&] {
    HWND dialog = nullptr;
    if (!WaitWithoutPumping([&] {
          return (dialog = ThreadWindow(thread, [](HWND w) { return GetDlgItem(w, IDC_OPTIONS_PORT); })) != nullptr;
        })) {
      return;
    }
    const Driver d(dialog, thread);
    file = d.ItemText(IDC_OPTIONS_FILE);
    d.Type(IDC_OPTIONS_PORT, "2404");
    d.Type(IDC_OPTIONS_RELINK, "11");
    d.Click(IDOK);
    WaitWithoutPumping([&] { return !IsWindow(dialog); });
  });
  const std::optional<Settings> s =
      EditOptions(nullptr, GetModuleHandleW(nullptr), {"--ini", "TolvanDDE.ini", "--relink-seconds", "3"});
  driver.join();
  EXPECT_EQ(file, "Settings file: " + (dir_ / "TolvanDDE.ini").string());
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->Port, 2404);
  EXPECT_EQ(s->RelinkSeconds, 3);  // the command line's, for this run
  EXPECT_EQ(s->JsonOut.size(), 2u);
  EXPECT_EQ(LoadSettings({"--ini", "TolvanDDE.ini"}).RelinkSeconds, 11);
}

namespace {

// "C:\Καταγραφή" in UTF-8. (The encodings' bytes are checked in
// settings_text_test.cpp.)
const std::string kGreekFolder = "C:\\\xCE\x9A\xCE\xB1\xCF\x84\xCE\xB1\xCE\xB3\xCF\x81\xCE\xB1\xCF\x86\xCE\xAE";

}  // namespace

TEST_F(OptionsDialogTest, OkWritesTheFileInItsOwnEncodingAndKeepsAnyCharacterOfAFolder) {
  const std::string before = "[server]\r\nport=2402\r\n";
  const std::string after = "[server]\r\nport=2403\r\n\r\n[capture]\r\ncapture=" + kGreekFolder + "\r\n";
  struct Case {
    const char* Name;
    std::string Bytes;
    std::string Written;  // "": refused, the file as it was
    std::string Message;
  };
  const Case cases[] = {
      {"UTF-16 LE", *EncodeSettingsText(before, TextEncoding::Utf16LeBom),
       *EncodeSettingsText(after, TextEncoding::Utf16LeBom), ""},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + before, "\xEF\xBB\xBF" + after, ""},
      {"UTF-8", before, after, ""},
      {"ANSI", "; M\xFCll\r\n" + before, "",
       "is saved as Windows-1252 (ANSI), which cannot hold every character of the new values."},
  };
  for (const Case& c : cases) {
    Write(c.Bytes);
    std::string shown, message;
    const bool accepted = Run("TolvanDDE.ini", [&](const Driver& d) {
      shown = d.ItemText(IDC_OPTIONS_PORT);
      d.Type(IDC_OPTIONS_PORT, "2403");
      SetDlgItemTextW(GetParent(d.Item(IDOK)), IDC_OPTIONS_CAPTURE, WideFromUtf8(kGreekFolder).c_str());
      d.Click(IDOK);
      if (c.Written.empty()) message = d.TakeMessage().first;
      WaitWithoutPumping([&] { return !IsWindow(d.Item(IDOK)); }, 500);
    });
    EXPECT_EQ(shown, "2402") << c.Name;
    EXPECT_EQ(accepted, !c.Written.empty()) << c.Name;
    EXPECT_EQ(ReadFile("TolvanDDE.ini"), c.Written.empty() ? c.Bytes : c.Written) << c.Name;
    EXPECT_NE(message.find(c.Message), std::string::npos) << c.Name << ": " << message;
    if (c.Written.empty()) continue;
    const Settings s = LoadSettings({"--ini", path_});  // the next start takes it
    EXPECT_EQ(s.Port, 2403) << c.Name;
    EXPECT_EQ(s.Capture, kGreekFolder) << c.Name;
  }
}

TEST_F(OptionsDialogTest, WhatChangedInTheFileWhileTheDialogWasOpenSurvivesOk) {
  Write(kFile);
  std::string edited = kFile;
  edited.replace(edited.find("port=2402"), 9, "port=2499");
  edited += "json-in=udp:5571\r\n";
  const bool accepted = Run("TolvanDDE.ini", [&](const Driver& d) {
    Write(edited);  // by hand, in an editor
    d.Type(IDC_OPTIONS_RELINK, "9");
    d.Click(IDOK);
    WaitWithoutPumping([&] { return !IsWindow(d.Item(IDOK)); });
  });
  ASSERT_TRUE(accepted);
  EXPECT_EQ(ReadFile("TolvanDDE.ini"), edited + "\r\n[decoders]\r\nrelink-seconds=9\r\n");
  EXPECT_EQ(values_, (SettingsFile{{"decoders", {{"relink-seconds", "9"}}}}));
}

TEST_F(OptionsDialogTest, EveryFieldIsReachedByItsLetterAndTabGoesDownEachColumn) {
  // The field each Alt+letter leads to; the two fields of the one shared
  // letter are reached by pressing it twice.
  const struct {
    char Letter;
    int Field;
  } kLetters[] = {
      {'P', IDC_OPTIONS_PORT},          {'L', IDC_OPTIONS_BIND},         {'C', IDC_OPTIONS_MAX_CLIENTS},
      {'R', IDC_OPTIONS_RELINK},        {'S', IDC_OPTIONS_SILENCE},      {'H', IDC_OPTIONS_DEDUP},
      {'Z', IDC_OPTIONS_MINIMIZED},     {'B', IDC_OPTIONS_DEBUG_LOG},    {'W', IDC_OPTIONS_START_WITH_WINDOWS},
      {'F', IDC_OPTIONS_CAPTURE},       {'K', IDC_OPTIONS_CAPTURE_DAYS}, {'G', IDC_OPTIONS_HTTP},
      {'O', IDC_OPTIONS_STATION_ID},    {'Q', IDC_OPTIONS_FREQ},         {'Y', IDC_OPTIONS_FREQ_SKYSPY},
      {'I', IDC_OPTIONS_FREQ_WINACARS}, {'N', IDC_OPTIONS_FREQ_ANAD},    {'X', IDC_OPTIONS_FREQ_POSFIX},
      {'J', IDC_OPTIONS_OUT_EDIT},      {'U', IDC_OPTIONS_IN_EDIT},      {'U', IDC_OPTIONS_JSON_SOURCE},
  };
  const int kTabOrder[] = {IDC_OPTIONS_PORT,
                           IDC_OPTIONS_BIND,
                           IDC_OPTIONS_MAX_CLIENTS,
                           IDC_OPTIONS_RELINK,
                           IDC_OPTIONS_SILENCE,
                           IDC_OPTIONS_DEDUP,
                           IDC_OPTIONS_MINIMIZED,
                           IDC_OPTIONS_DEBUG_LOG,
                           IDC_OPTIONS_START_WITH_WINDOWS,
                           IDC_OPTIONS_CAPTURE,
                           IDC_OPTIONS_CAPTURE_DAYS,
                           IDC_OPTIONS_HTTP,
                           IDC_OPTIONS_STATION_ID,
                           IDC_OPTIONS_FREQ,
                           IDC_OPTIONS_FREQ_SKYSPY,
                           IDC_OPTIONS_FREQ_WINACARS,
                           IDC_OPTIONS_FREQ_ANAD,
                           IDC_OPTIONS_FREQ_POSFIX,
                           IDC_OPTIONS_OUT_EDIT,
                           IDC_OPTIONS_OUT_ADD,
                           IDC_OPTIONS_OUT_LIST,
                           IDC_OPTIONS_OUT_CHANGE,
                           IDC_OPTIONS_OUT_REMOVE,
                           IDC_OPTIONS_IN_EDIT,
                           IDC_OPTIONS_IN_ADD,
                           IDC_OPTIONS_IN_LIST,
                           IDC_OPTIONS_IN_CHANGE,
                           IDC_OPTIONS_IN_REMOVE,
                           IDC_OPTIONS_JSON_SOURCE,
                           IDOK,
                           IDCANCEL};
  std::vector<std::string> decoderLabels, letterMisses, tabOrder;
  std::multiset<char> letters;
  Run("TolvanDDE.ini", [&](const Driver& d) {
    const HWND dialog = GetParent(d.Item(IDC_OPTIONS_PORT));
    const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    const auto focus = [&] {
      GUITHREADINFO info{};
      info.cbSize = sizeof info;
      GetGUIThreadInfo(thread, &info);
      return info.hwndFocus;
    };
    for (int id : {IDC_OPTIONS_FREQ_SKYSPY, IDC_OPTIONS_FREQ_WINACARS, IDC_OPTIONS_FREQ_ANAD, IDC_OPTIONS_FREQ_POSFIX})
      decoderLabels.push_back(Text(GetWindow(d.Item(id), GW_HWNDPREV)));
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      const std::string text = Text(child);
      if (const auto amp = text.find('&'); amp != std::string::npos)
        letters.insert(static_cast<char>(toupper(text[amp + 1])));
    }
    SetForegroundWindow(dialog);
    WaitWithoutPumping([&] { return GetForegroundWindow() == dialog; }, 3000);
    for (const auto& l : kLetters) {
      Press({VK_MENU, static_cast<WORD>(l.Letter)});
      if (!WaitWithoutPumping([&] { return focus() == d.Item(l.Field); }, 2000))
        letterMisses.push_back(std::string(1, l.Letter) + " -> " + std::to_string(GetDlgCtrlID(focus())));
    }
    SetFocus(nullptr);
    PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.Item(IDC_OPTIONS_PORT)), TRUE);
    WaitWithoutPumping([&] { return focus() == d.Item(IDC_OPTIONS_PORT); }, 2000);
    for (std::size_t i = 0; i < std::size(kTabOrder); ++i) {
      tabOrder.push_back(std::to_string(GetDlgCtrlID(focus())));
      const HWND before = focus();
      Press({VK_TAB});
      WaitWithoutPumping([&] { return focus() != before; }, 2000);
    }
  });
  EXPECT_EQ(decoderLabels,
            (std::vector<std::string>{"Sk&ySpy", "A&irmaster (WinACARS)", "Air&Nav (ANAD)", "Posfi&x (POSFIX)"}));
  EXPECT_EQ(letterMisses, std::vector<std::string>{});
  std::vector<std::string> expectedOrder;
  for (int id : kTabOrder) expectedOrder.push_back(std::to_string(id));
  EXPECT_EQ(tabOrder, expectedOrder);
  // Every letter once, the shared one twice; the buttons' letters among them.
  for (char letter = 'A'; letter <= 'Z'; ++letter) EXPECT_EQ(letters.count(letter), letter == 'U' ? 2u : 1u) << letter;
}
