#pragma once
// A process id that is surely gone, for files named after a writer that has ended: a child that
// has exited and been waited for. 0 when no such child could be made.
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantelis::test {

inline pid_t EndedProcessId()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    if (child < 0 || ::waitpid(child, nullptr, 0) != child)
        return 0;
    return child;
}

} // namespace vantelis::test
