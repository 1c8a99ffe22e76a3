#pragma once
// GuardAdviseAtoms: keeps the texts of a decoder that other programs are
// linked to as well. Each hot-link text names its item by a global atom,
// which the receiving client's DDE library deletes once it has taken the
// text. Under Wine the decoder's DDE library adds that atom once for all its
// links: the first client to take a text deletes the last reference, and
// the library of each later client finds the name gone and throws the text
// away without a word. The guard holds references of this program's own to
// the name of each text that comes for the conversation while its library
// takes the text, so that the library always finds the name: one the
// library deletes, one let go afterwards.

#include <windows.h>

#include <string>

// Watches the DDE library's window of one conversation on this thread until
// the window goes. `item` is the link's item, the name of a text whose atom
// is already gone; it must outlive the window.
void GuardAdviseAtoms(HWND conversationWindow, const std::string& item);
