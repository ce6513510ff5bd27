#pragma once
// Ctrl-C and Ctrl-Break ask a run to stop; they never end the program by
// themselves, so a stop always says what was and was not written and exits
// with its own status. The stop closes the commit gate first: from the
// moment it is taken, no file is created or replaced.
//
// A run that does not answer (a plug-in that never returns, or never asks
// whether to stop) is ended by a second Ctrl-C, or kStopAnswerSeconds after
// the first: status 4, the stop line naming the files committed before it,
// nothing more written.
#include <string>

constexpr int kStopAnswerSeconds = 3;

// Installs the console handler; main's first call.
void CatchStops();
bool StopRequested();
// The key that asked for the stop: "Ctrl-C" or "Ctrl-Break".
const char* StopKey();

// The run's one stop line, said on standard error. The watchdog that ends
// an unanswered run says a line of its own; whichever comes first is the
// only one. A caller that comes second says nothing and waits for the
// watchdog to end the run.
void SayStopLine(const std::string& line);

// Thrown where a command stops before writing anything more.
struct Stopped {};
void StopPoint();  // throws Stopped once a stop was asked for
