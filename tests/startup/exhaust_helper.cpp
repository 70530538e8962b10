// Eats the heap, then asks for memory the way the program does: the report
// of the failure must still end the process with -1, not overflow its stack.
#include <windows.h>

#include <cstdlib>

void* volatile gLast;  // the blocks are used, so no allocation can be dropped

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // As in the installer, the display is in use before memory runs out.
    CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (std::size_t size = 1 << 20; size >= 16; size /= 16)
        for (void* block = std::malloc(size); block; block = std::malloc(size)) gLast = block;
    gLast = ::operator new(4096);
    return 0;
}
