#pragma once
// What every device of the simulated PC sits on: the virtual clock, port space and ISA memory.

#include "machine/io/clock.h"
#include "machine/io/io_space.h"
#include "machine/io/memory_space.h"

namespace orvo::io {

struct Backplane {
    VirtualClock clock;
    IoSpace ports{clock};
    MemorySpace memory;
};

} // namespace orvo::io
