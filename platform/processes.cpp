#include "platform/processes.h"

#include <mbstring.h>
#include <tlhelp32.h>

#include <cstring>

#include "platform/handles.h"
#include "startup/external.h"

namespace varnel {

namespace {

// The ANSI entry, whatever UNICODE says (its ULONG_PTR field and the padding
// after it make it 8 bytes longer in a 64-bit process).
static_assert(sizeof(PROCESSENTRY32) == (sizeof(void*) == 8 ? 304 : 296));

constexpr DWORD kSnapAll = 15;      // heap lists, processes, threads, modules
constexpr DWORD kSnapProcess = 2;   // processes only
constexpr DWORD kProcessTerminate = 1;

bool NameMatches(const PROCESSENTRY32& entry, const std::string& name, bool caseSensitive) {
    const std::string exeFile(entry.szExeFile, strnlen(entry.szExeFile, sizeof(entry.szExeFile)));
    const auto* a = reinterpret_cast<const unsigned char*>(exeFile.c_str());
    const auto* b = reinterpret_cast<const unsigned char*>(name.c_str());
    return (caseSensitive ? _mbscmp(a, b) : _mbsicmp(a, b)) == 0;
}

// Walks a fresh snapshot; the first entry with the name, or false.
bool FindEntry(DWORD snapshotFlags, const std::string& name, bool caseSensitive, PROCESSENTRY32& entry) {
    FileHandle snapshot(ext::CreateToolhelp32Snapshot(snapshotFlags, 0));
    if (!snapshot) return false;
    entry = {};
    entry.dwSize = sizeof(PROCESSENTRY32);
    for (BOOL more = ext::Process32First(snapshot.Get(), &entry); more;
         more = ext::Process32Next(snapshot.Get(), &entry)) {
        if (NameMatches(entry, name, caseSensitive)) return true;
    }
    return false;
}

}  // namespace

bool IsProcessRunning(const std::string& name, bool caseSensitive) {
    PROCESSENTRY32 entry;
    return FindEntry(kSnapAll, name, caseSensitive, entry);
}

DWORD FindProcessIdByName(const std::string& name, bool caseSensitive) {
    PROCESSENTRY32 entry;
    return FindEntry(kSnapProcess, name, caseSensitive, entry) ? entry.th32ProcessID : 0;
}

bool TerminateProcessById(DWORD processId) {
    KernelHandle process(ext::OpenProcess(kProcessTerminate, FALSE, processId));
    if (!process) return false;
    return ext::TerminateProcess(process.Get(), 0) != 0;
}

bool TerminateProcessByName(const std::string& name, bool caseSensitive) {
    const DWORD processId = FindProcessIdByName(name, caseSensitive);
    return processId != 0 && TerminateProcessById(processId);
}

}  // namespace varnel
