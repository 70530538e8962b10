#include <windows.h>

#include "startup/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { varnel::StartUp(); }
