#pragma once
// RescueDroppedAdvises: takes the texts that Wine's DDE library throws away
// when other programs are linked to the same decoder. Each hot-link text
// names its item by a global atom, which the receiving client's library
// deletes once it has taken the text. Wine's library on the decoder's side
// adds that atom once for all its links: the first client to take a text
// deletes the last reference, and the library of each later client finds
// the name gone, matches the text to no link and drops it without a word.
// The conversation's window is watched: each text's bytes are read before
// the library takes them, and a text it dropped for want of its item's
// name goes to the link's box as if the library had handed it over. The
// program changes no atom: what other programs hold stays as it was.

#include <windows.h>

class DdeTextBox;

// Watches the DDE library's window of one conversation of `box` (this
// thread's) until the window goes; the box must outlive the window.
void RescueDroppedAdvises(HWND conversationWindow, DdeTextBox& box);
