#pragma once
// MessageDisplay: the window's multi-line text box that shows the latest
// message, and status panels 2 and 3 (its registration and flight), paced
// by DisplayPacer so that showing never holds up the forwarding. It starts
// the window's show timer when a burst is to be shown at its end.
// GUI thread only.

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "router/message_router.h"
#include "ui/display_pacer.h"

class MessageDisplay {
 public:
  // Shows the registration and the flight in their panels.
  using PanelsSink = std::function<void(const std::string& registration, const std::string& flight)>;
  // `timerId`: the parent window's timer that calls TimerTick.
  MessageDisplay(UINT_PTR timerId, PanelsSink panels) : mTimerId(timerId), mPanels(std::move(panels)) {}

  // Creates the text box in `parent`, at the window's layout for `dpi`.
  void Create(HWND parent, HINSTANCE instance, int id, int dpi);
  // Places the box at the window's layout for `dpi`, as wide as the
  // parent's client area less its margins, ending above
  // `bottomLimit` (the status bar's top), in `font` (which stays the
  // caller's).
  void Layout(int dpi, HFONT font, int bottomLimit);
  // The window and its children are gone.
  void Destroyed() { mBox = mParent = nullptr; }
  HWND Box() const { return mBox; }

  // The router's latest message.
  void Arrived(const RouterEvents::Latest& latest);
  // The show timer's tick.
  void TimerTick();
  // Whether the tray tip is due now (see DisplayPacer).
  bool TipDue() { return mPacer.TipDue(GetTickCount64()); }

 private:
  void ShowNow();

  UINT_PTR mTimerId;
  PanelsSink mPanels;
  HWND mParent = nullptr;
  HWND mBox = nullptr;
  DisplayPacer mPacer;
  RouterEvents::Latest mNext;  // waits for the display's next turn
};
