#include "inputs/advise_rescue.h"

#include <dde.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "inputs/dde_link.h"

namespace {

// The watched windows: the procedure each had, and its link's box. A
// table of this program's own rather than the common controls' subclass,
// which under Wine asks the system for the window's property at every
// message and took a third of the links' throughput.
struct Watch {
  WNDPROC Previous;
  DdeTextBox* Box;
};
std::map<HWND, Watch>& Watches() {
  static std::map<HWND, Watch> watches;
  return watches;
}

// The text a WM_DDE_DATA carries (a DDEDATA: two words of flags and
// format, then the value), or nothing when it carries none as text.
std::optional<std::string> TextOf(LPARAM lParam, UINT_PTR& atom) {
  UINT_PTR data = 0;
  if (!UnpackDDElParam(WM_DDE_DATA, lParam, &data, &atom) || data == 0) return std::nullopt;
  const auto handle = reinterpret_cast<HGLOBAL>(data);
  const auto* bytes = static_cast<const char*>(GlobalLock(handle));
  if (!bytes) return std::nullopt;
  std::optional<std::string> text;
  const SIZE_T size = GlobalSize(handle);
  std::int16_t format = 0;
  if (size >= 4) std::memcpy(&format, bytes + 2, sizeof format);
  if (format == CF_TEXT) text.emplace(bytes + 4, strnlen(bytes + 4, size - 4));
  GlobalUnlock(handle);
  return text;
}

// Whether the library could not have found the text's item by `atom`: the
// name is gone, or was taken again for the same name. An atom that names
// another item means the library dropped a text the link never asked for.
bool ItemNameLost(UINT_PTR atom, const std::string& item) {
  char name[256];
  const UINT length = GlobalGetAtomNameA(static_cast<ATOM>(atom), name, sizeof name);
  return length == 0 || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name, static_cast<int>(length), item.c_str(),
                                       static_cast<int>(item.size())) == CSTR_EQUAL;
}

LRESULT CALLBACK ConversationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto it = Watches().find(window);
  if (it == Watches().end()) return DefWindowProcA(window, message, wParam, lParam);
  const Watch watch = it->second;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watch.Previous));
    Watches().erase(it);
  }
  if (message != WM_DDE_DATA) return CallWindowProcA(watch.Previous, window, message, wParam, lParam);
  DdeTextBox& box = *watch.Box;
  UINT_PTR atom = 0;
  const std::optional<std::string> text = TextOf(lParam, atom);
  const std::uint64_t before = box.Advised();
  const LRESULT result = CallWindowProcA(watch.Previous, window, message, wParam, lParam);
  // Handed over, or not a text of the link: nothing more to do. Looking
  // the atom up costs a call to the system, made only for a dropped text.
  if (box.Advised() != before || !text || !box.Connected()) return result;
  if (ItemNameLost(atom, box.LinkItem())) box.OnAdviseText(*text);
  return result;
}

}  // namespace

void RescueDroppedAdvises(HWND conversationWindow, DdeTextBox& box) {
  const auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(conversationWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ConversationProc)));
  if (previous) Watches()[conversationWindow] = {previous, &box};
}
