// Death tests that must not get the memory a fault would take cap the
// address space of their child process.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <fstream>

namespace zorvak_test {

// Caps the address space `headroom` bytes above what the process uses now,
// or ends the process with status 3.  For death-test children only: the
// cap cannot be lifted again.
inline void cap_address_space(std::size_t headroom)
{
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit limit{cap, cap};
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
}

}  // namespace zorvak_test
