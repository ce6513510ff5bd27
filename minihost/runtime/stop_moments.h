#pragma once
// Moments of a run at which a test build of minihost sends itself a Ctrl-C.
// minihost's own build links stop_moments.cpp, where they do nothing; the
// test build (minihost_stops.exe) links tests/win/support/stop_moments.cpp in
// their place, so nothing a user can set reaches these in minihost.exe.
void AtRunStart();
void AtProgressLine(int lineOfRun);  // counted as --abort-at-line counts
void AtEncodeStart();                // each frame's encode, in the order they begin
void AtStopLine(bool said);          // the run's own stop line: before it, and once it is said
