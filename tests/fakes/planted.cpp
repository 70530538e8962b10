// A library planted beside a test program under a system library's name: the
// installer must never bind to it.
#include <windows.h>

extern "C" short WINAPI GetFileTitleW(LPCWSTR, LPWSTR, WORD) { return 0x7777; }
