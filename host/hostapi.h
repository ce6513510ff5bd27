#pragma once
// The host's services live in its own DLL; plug-ins import them.
//
// No C++ exception crosses this boundary, in either direction. Each module
// carries its own runtime (and the real host another compiler's), so an
// exception thrown on one side cannot be caught on the other: it ends the
// process. Every function and table entry that one side calls on the other
// therefore answers failure as a value (null, 0, false) and catches, inside
// its own module, whatever its own code may throw (std::bad_alloc above all).
#ifdef HOSTLIB_BUILD
#define HOST_API __declspec(dllexport)
#else
#define HOST_API __declspec(dllimport)
#endif
