// Shared pieces of the platform tests: temporary folders, files, the helper
// program and a lock for tests that touch machine-wide things (processes
// named varnel.exe, the record in Documents, the desktop link).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/patience.h"

namespace testing_support {

// Serialises tests across the test processes ctest runs side by side.
class MachineLock {
public:
    MachineLock() : mutex_(CreateMutexW(nullptr, FALSE, L"varnel-platform-tests")) {
        WaitForSingleObject(mutex_, INFINITE);
    }
    ~MachineLock() {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

private:
    HANDLE mutex_;
};

inline std::wstring ToWide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(936, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(936, 0, text.c_str(), -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

inline void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

// A fresh folder under the temporary folder, removed with its contents.
class TempDir {
public:
    TempDir() {
        char base[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, base);
        static int counter = 0;
        path_ = std::string(base) + "varnel-pf-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempDir() { RemoveTree(ToWide(path_)); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

inline bool Exists(const std::string& path) {
    return GetFileAttributesW(ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
inline bool IsDir(const std::string& path) {
    const DWORD a = GetFileAttributesW(ToWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

inline std::string ReadAll(const std::string& path) {
    HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The folder of the running test program (the helper lies there too).
inline std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\'));
}

inline std::string HelperPath() { return ProgramFolder() + "\\platform_helper.exe"; }

// Starts a program with no inherited handles; returns its process
// information (hProcess null on failure).
inline PROCESS_INFORMATION Start(const std::string& program, const std::string& arguments) {
    std::wstring commandLine = L"\"" + ToWide(program) + L"\" " + ToWide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(ToWide(program).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        info = {};
    }
    return info;
}

// Waits up to `ms` (as Patience scales it) for a file to appear.
inline bool WaitForFile(const std::string& path, DWORD ms) {
    const DWORD limit = Patience(ms);
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (Exists(path)) return true;
        Sleep(50);
    }
    return Exists(path);
}

}  // namespace testing_support
