#pragma once
// Ctrl-C and Ctrl-Break ask a run to stop; they never end the program by
// themselves, so a stop always says what was and was not written and exits
// with its own status. The stop closes the commit gate first: from the
// moment it is taken, no file is created or replaced.
#include <string>

// Installs the console handler; main's first call.
void CatchStops();
bool StopRequested();
// The key that asked for the stop: "Ctrl-C" or "Ctrl-Break".
const char* StopKey();

// Thrown where a command stops before writing anything more.
struct Stopped {};
void StopPoint();  // throws Stopped once a stop was asked for

// For the tests: MINIHOST_TEST_CTRL_C in the environment has a Ctrl-C sent
// to the console (of the test, which ignores it) as the run starts
// ("start"), as the render reaches line N of the run, counted as
// --abort-at-line counts ("N"), or as the encode of the run's frame N
// begins, counted in the order they are written ("encode:N"; "encode" is
// the first). A "break:" before the moment sends Ctrl-Break instead.
int TestCtrlCLine();
void RaiseTestCtrlCAtEncode();
void RaiseTestCtrlC();
