#pragma once
// The status page: one HTML document with its style and script, built into
// the program (stations are often offline: nothing comes from elsewhere).
// The script reads /api/status once, then follows /api/events; every text
// from the bridge goes into the page as text (textContent), never as HTML.
// No platform header.

#include <string>
#include <string_view>

std::string_view StatusPage();

// The page's address for a browser on this PC: the address it listens on,
// or this PC's own when it listens on every interface.
std::string StatusPageUrl(const std::string& address, int port);
