#pragma once
// The host's services live in its own DLL; plug-ins import them.
#ifdef HOSTLIB_BUILD
#define HOST_API __declspec(dllexport)
#else
#define HOST_API __declspec(dllimport)
#endif
