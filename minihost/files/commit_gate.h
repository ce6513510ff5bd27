#pragma once
// The one place where files of a run come into being. A stop closes the gate:
// after it nothing more is committed, and what was committed before it is
// known exactly, because a commit and the closing cannot interleave.
#include <functional>
#include <string>
#include <vector>

#include "minihost/files/written_record.h"

// Closes the gate, waiting for a commit in progress to finish. Any thread
// (a console handler runs on one of its own). Answers false when it was
// closed already.
bool CloseCommits();
bool CommitsClosed();

// For a fault handler, which must not wait on a thread that may be the one
// that faulted: closes the gate if it can be had within a second. Answers
// the files committed, as CommittedList words them, in memory that no
// allocation touches.
const char* CloseCommitsAfterFault();

// A batch tells each file on stdout after its commit, on another thread: a
// fault between the two would leave a committed file untold there. The batch
// counts what it has told; the fault handler tells the rest.
void CountToldFiles();  // from here on, every commit is told through ToldCommitted
void ToldCommitted();
// For the fault handler, after CloseCommitsAfterFault: each committed file
// with no line on stdout yet, in order. Allocates nothing.
void UntoldAfterFault(void (*tell)(const char* path));

enum class CommitResult { kCommitted, kFailed, kClosed };

// Runs commit (which puts the file in place) unless the gate is closed, and
// records path when it succeeds.
CommitResult CommitThroughGate(const std::string& path, const std::function<bool()>& commit);

// The files committed by this run, as their paths were given, in order.
std::vector<std::string> CommittedFiles();
