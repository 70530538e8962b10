// System calls made directly, not through the external function table
// (startup/external.h). The table is a fixed list of rows, each bound on
// first use and ending the process through the runtime error box when it
// cannot be; it is not grown for calls it never held. These are bound by the
// loader when the process starts, from system libraries every supported
// Windows has, so none can be missing when it is made:
//
// - File data: CreateFileW, ReadFile, WriteFile, GetFileSizeEx and
//   GetFullPathNameW, only in platform/file.cpp; beside them DeleteFileW,
//   MoveFileExW, SetFileTime and SetFileAttributesW in the archive reader
//   and the record. (GetFileAttributesW, FindFirstFileW and
//   CreateDirectoryW have rows and go through ext::.)
// - The extraction thread (install/background_extraction.cpp): std::thread,
//   its events (CreateEventW, SetEvent, ResetEvent) and WaitForSingleObject.
// - The table's own binding (LoadLibraryA, GetProcAddress, FreeLibrary,
//   GetSystemDirectoryA), which cannot go through the table itself.
// - Single uses: the message pump of platform/wait.cpp, the shell folder
//   lookups of install/record.cpp, the process set-up of startup/program.cpp,
//   the drive types and media of the default folder (install/location.cpp).
#pragma once
