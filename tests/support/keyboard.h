#pragma once
// Keys pressed as a user presses them: through the system's input queue, to
// the foreground window's focused control.

#include <windows.h>

#include <initializer_list>
#include <iterator>
#include <vector>

// Presses the keys in their order and lets them go in the other.
inline void Press(std::initializer_list<WORD> keys) {
  std::vector<INPUT> inputs;
  for (WORD key : keys) inputs.push_back(INPUT{INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
  for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
    inputs.push_back(INPUT{INPUT_KEYBOARD, {.ki = {*key, 0, KEYEVENTF_KEYUP, 0, 0}}});
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}
