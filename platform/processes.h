// Finding and ending processes by executable file name.
#pragma once

#include <windows.h>

#include <string>

namespace varnel {

// True when a process whose file name (no directory) equals `name` runs.
// Without caseSensitive, ASCII letters compare without regard to case and
// double-byte characters compare as units.
bool IsProcessRunning(const std::string& name, bool caseSensitive = false);

// Id of the first such process in the system's list; 0 when there is none.
DWORD FindProcessIdByName(const std::string& name, bool caseSensitive = false);

// Ends the process with exit code 0 (without waiting for it to go away).
bool TerminateProcessById(DWORD processId);

// Ends the first process with that name; false when there is none.
bool TerminateProcessByName(const std::string& name, bool caseSensitive = false);

}  // namespace varnel
