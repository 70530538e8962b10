// Memory exhaustion is never returned to a caller: the runtime error box
// names the size and the process ends.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "startup/runtime_error.h"

namespace {

void* AllocateOrDie(std::size_t size) {
    if (size == 0) size = 1;
    if (void* block = std::malloc(size)) return block;
    char message[64];
    // Unsigned: a request above 2 GB must not read as a negative size.
    std::snprintf(message, sizeof message, "分配 %u 字节内存失败!", static_cast<unsigned>(size));
    varnel::RuntimeError(message, 0, 0, 0);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrDie(size); }
void* operator new[](std::size_t size) { return AllocateOrDie(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
