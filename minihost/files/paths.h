#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Paths as the user typed them, in UTF-8 and kept in the user's own
// separator: a message shows "out/seq/a.png", not "out/seq\a.png".
std::string FileName(const std::string& path);
std::string Join(const std::string& dir, const std::string& name);
bool IsFolder(const std::string& path);
// Whether something (a file, a folder) is at path.
bool Exists(const std::string& path);
// The file a loaded module (null: the running program) was loaded from;
// empty when it cannot be asked.
std::string ModulePath(void* module);
// The folder of the running program, without a trailing separator.
std::string ProgramDir();

// The name Windows opens for path: in UTF-16, made full and normalised as
// Windows normalises a path ("." and "..", trailing dots and blanks), with
// the \\?\ prefix once it reaches MAX_PATH so that no length is cut. Empty
// when path cannot name a file: longer than Windows allows, or not UTF-8.
std::wstring SystemPath(const std::string& path);
// Short names go to Windows as they are (devices such as NUL stay devices);
// long ones get the prefix that lifts MAX_PATH, which they may carry only
// once fully normalised, as Windows then takes them literally.
std::wstring LongForm(const std::wstring& full);
// The last part of that name, as Windows will write it ("a.png" for "a.png. ").
std::string ResolvedName(const std::string& path);
// Equal for two paths that would name one file, whether it exists or not
// (case as Windows ignores it); empty where SystemPath is.
std::wstring NameKey(const std::string& path);
// Whether the last part of path is a name the file system holds whole:
// 255 UTF-16 units on Windows. Under Wine a Unix file system holds 255 bytes
// of UTF-8, and Wine cuts a longer name short without an error.
bool NameFits(const std::string& path);
// fopen through SystemPath.
std::FILE* OpenFile(const std::string& path, const wchar_t* mode);

// Size of an existing file in bytes; 0 when it cannot be asked.
uint64_t FileSize(const std::string& path);

// Why a file could not be opened or made, from the errno of the failed open, in words
// that say what to do.
std::string OpenFailureReason(int error);
// Why bytes did not reach the disk, from the errno of the failed write or
// flush: a full disk says so and what to do.
std::string WriteFailureReason(int error);
