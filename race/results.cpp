// The running order and the race results.
#include "race/results.h"

RunningOrderEntry running_order[BIKE_SLOT_COUNT];
int running_order_count;
RunningOrderEntry results_order[BIKE_SLOT_COUNT];
int results_order_count;
int results_written;
