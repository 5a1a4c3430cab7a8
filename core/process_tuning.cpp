// Raising the process's memory and scheduling priority before a race. Linux
// has no working-set control, so that step only reports the range and fails.
#include "core/file.h"

#include "platform/log.h"

#include <sys/resource.h>
#include <unistd.h>

static const unsigned long long SMALL_MEMORY = 67108864;      // 64 MB: left alone below this
static const unsigned long long WORKING_SET_CAP = 2147483648; // high end before the margin
static const unsigned long long WORKING_SET_MARGIN = 33554432;
static const unsigned long long WORKING_SET_LOW = 1073741824;
static const int HIGH_PRIORITY_NICE = -10;

static unsigned long long query_system_memory(void)
{
    long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0)
        return 0;
    return (unsigned long long)pages * (unsigned long long)page_size;
}

static unsigned long long (*physical_memory_query)(void) = query_system_memory;

void set_physical_memory_query(unsigned long long (*query)(void))
{
    physical_memory_query = query ? query : query_system_memory;
}

unsigned long long physical_memory_figure(void)
{
    return physical_memory_query();
}

void tune_process_memory(void)
{
    unsigned long long total = physical_memory_query();
    if (total < SMALL_MEMORY) {
        log_printf("Working set left alone - less than 64 MB physical memory\n");
        return;
    }
    unsigned long long high = (total < WORKING_SET_CAP ? total : WORKING_SET_CAP) - WORKING_SET_MARGIN;
    unsigned long long low = high < WORKING_SET_LOW ? high : WORKING_SET_LOW;
    log_printf("Setting working set range to %u - %u\n", (unsigned)low, (unsigned)high);
    log_printf("Working set update failed\n");
    if (setpriority(PRIO_PROCESS, 0, HIGH_PRIORITY_NICE) == 0)
        log_printf("Priority successfully set to high\n");
    else
        log_printf("Priority set failed\n");
}
