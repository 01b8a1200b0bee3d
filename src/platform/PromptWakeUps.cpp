#include "PromptWakeUps.h"

#include <cstdint>

#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void askForPromptWakeUps()
{
    // The kernel's struct sched_attr (its first version); the C library declares none.
    struct
    {
        std::uint32_t size;
        std::uint32_t policy;
        std::uint64_t flags;
        std::int32_t nice;
        std::uint32_t priority;
        std::uint64_t runtime;
        std::uint64_t deadline;
        std::uint64_t period;
    } attributes = {};
    attributes.size = sizeof attributes;
    attributes.policy = SCHED_OTHER;
    attributes.nice = ::getpriority(PRIO_PROCESS, 0); // as it is: raising it needs a privilege
    attributes.runtime = 100 * 1000;                  // nanoseconds: the shortest slice allowed
    ::syscall(SYS_sched_setattr, 0, &attributes, 0);
    ::prctl(PR_SET_TIMERSLACK, 1000UL); // nanoseconds
}
