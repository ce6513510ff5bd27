#pragma once
#include <string>

// Why Windows would make no file of this path's spelling, as one clause that
// names the fault and says what to do ("x?.png: Windows allows no '?' in a
// name; ..."); empty for a path it takes. Whether the folders exist is not
// asked. Checked before anything is read, so a run never fails at its end
// for a name it could have refused at its start.
std::string NameFault(const std::string& path);

// The Windows device the last part of path names ("NUL" for "nul .png"),
// or empty: such a file, made on another system, Windows cannot open.
std::string DeviceNamed(const std::string& path);
