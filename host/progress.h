#pragma once

// What the host's progress window takes from a render, before each line:
// the progress message (wParam the line about to be filtered, lParam the last
// line), then the abort query (lParam the address of a 32-bit flag holding 0,
// which the window sets to stop the render).
constexpr unsigned kProgressMessage = 0x420;
constexpr unsigned kAbortQuery = 0x421;
