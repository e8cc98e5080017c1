#include "machine/io/memory_space.h"

#include <new>
#include <sys/mman.h>

namespace orvo::io {

// Anonymous mapping: pages cost nothing until touched, so every test machine can have one.
MemorySpace::MemorySpace() {
    void* p = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    base_ = static_cast<std::uint8_t*>(p);
}

MemorySpace::~MemorySpace() { munmap(base_, kSize); }

} // namespace orvo::io
