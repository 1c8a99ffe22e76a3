#include "inputs/advise_atom_guard.h"

#include <commctrl.h>
#include <dde.h>

namespace {

constexpr UINT_PTR kSubclassId = 1;

// Adds two references to the name of the text's item, and returns its
// atom in `held` and the lParam that names the item by it: the same atom
// while it lives, else a new one for the link's item.
LPARAM HoldItemAtom(LPARAM lParam, const std::string& item, ATOM& held) {
  UINT_PTR data = 0;
  UINT_PTR atom = 0;
  held = 0;
  if (!UnpackDDElParam(WM_DDE_DATA, lParam, &data, &atom)) return lParam;
  char name[256];
  const char* text = GlobalGetAtomNameA(static_cast<ATOM>(atom), name, sizeof name) ? name : item.c_str();
  held = GlobalAddAtomA(text);
  if (held == 0) return lParam;
  GlobalAddAtomA(text);
  return held == atom ? lParam : ReuseDDElParam(lParam, WM_DDE_DATA, WM_DDE_DATA, data, held);
}

// One reference is the library's to delete as it takes the text; the other
// keeps the name while it does so, whatever the other clients delete
// meanwhile, and is let go afterwards.
LRESULT CALLBACK ConversationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR item) {
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, &ConversationProc, id);
  if (message != WM_DDE_DATA) return DefSubclassProc(window, message, wParam, lParam);
  ATOM held = 0;
  lParam = HoldItemAtom(lParam, *reinterpret_cast<const std::string*>(item), held);
  const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  if (held) GlobalDeleteAtom(held);
  return result;
}

}  // namespace

void GuardAdviseAtoms(HWND conversationWindow, const std::string& item) {
  SetWindowSubclass(conversationWindow, &ConversationProc, kSubclassId, reinterpret_cast<DWORD_PTR>(&item));
}
