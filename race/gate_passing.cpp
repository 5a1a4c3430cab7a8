// Gate passing of one bike in one tic: the gate test around the bike's next
// gate, the gate time, the lap end that finishes a bike, and the results
// update after a pass.
#include "race/gates.h"

#include <climits>

#include <ode/ode.h>

#include "bike/bike_state.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "track/timing.h"

namespace {

// Offset -1, the gate passed last, is never tested again.
const int GATE_TEST_OFFSETS[] = {-3, -2, 0, 1, 2};

// The front wheel lies within the gate's radius of its centre and on the
// side its crossing direction points to, in x and z.
int is_inside_gate(int gate, const dReal *wheel)
{
    int entry = get_lap_list_entry(gate);
    if (entry < 0)
        return 0;
    int checkpoint = entry >= NOT_TIMING_MARK ? entry - NOT_TIMING_MARK : entry;
    if (checkpoint < 0 || checkpoint >= timing_gate_count || checkpoint >= TIMING_GATE_SLOTS)
        return 0;
    const TimingGate *t = &timing_gates[checkpoint];
    double dx = wheel[0] - t->x, dz = wheel[2] - t->z;
    double radius = t->radius;
    return radius >= 0 && dx * dx + dz * dz <= radius * radius &&
           dx * t->direction[0] + dz * t->direction[2] >= 0;
}

int is_last_gate_of_lap(int gate)
{
    int f = lap_gate_list.first_lap_count, p = lap_gate_list.normal_lap_count;
    int from_lap_start = gate - f + 1;
    return p > 0 && from_lap_start >= 0 && from_lap_start % p == 0;
}

// The gate passed this tic, or -1. A gate behind the bike that has no time
// (or follows one without) can still be passed; a lap's last gate cannot
// be skipped.
int find_passed_gate(const BikeState *bike)
{
    const dReal *wheel = dBodyGetPosition(bike->front_wheel_body);
    int gap = 0;
    for (int offset : GATE_TEST_OFFSETS) {
        long long g = (long long)bike->gates_passed + offset;
        if (g < 0 || g > INT_MAX)
            continue;
        int gate = (int)g;
        int untimed = get_gate_time(bike, gate) < 0;
        if (untimed)
            gap = 1;
        int inside = is_inside_gate(gate, wheel);
        if (inside && (offset >= 0 || gap))
            return gate;
        if (!inside && untimed && is_last_gate_of_lap(gate))
            return -1;
    }
    return -1;
}

int leader_gates_passed(void)
{
    if (running_order_count < 1)
        return 0;
    const BikeState *leader = get_slot_bike(running_order[0].slot);
    return leader ? leader->gates_passed : running_order[0].gates;
}

// At the end of a lap: the bike goes on while the race's final lap is not
// done and the leader has not passed its last gate, else it is finished.
void end_lap(BikeState *bike)
{
    int f = lap_gate_list.first_lap_count, p = lap_gate_list.normal_lap_count;
    int g = bike->gates_passed;
    if (p <= 0 || g < f || (g - f) % p != 0 || bike->finished)
        return;
    int final_lap = race_settings.final_lap;
    int final_gate = lap_end_gate(final_lap);
    int laps_done = (g - f) / p + 1;
    if (final_gate >= leader_gates_passed() && laps_done < final_lap)
        return;
    bike->finished = 1;
    // A robot's roll-out along its line at a quarter of the recorded speed
    // belongs here, with the auto pilot.
}

}  // namespace

void update_gates_and_lap_pool(BikeState *bike)
{
    if (!bike || !track_has_timing() || bike->finished || !bike->front_wheel_body)
        return;

    // Recording the line samples of a human rider and the rider-down
    // penalty of a robot's picks come here, with the lap pool.

    int gate = find_passed_gate(bike);
    if (gate < 0)
        return;

    int row, lap_first_row;
    lap_row_for_gates(bike->gates_passed, &row, &lap_first_row);
    if (bike->down)
        bike->lap_buffer_spoiled[row & 1] = 1;
    bike->gates_passed = gate;
    set_gate_time(bike, gate, current_tic);

    // Crediting a robot's run and offering a human's recorded section to
    // the lap pool come here, with the lap pool.

    bike->gates_passed = gate + 1;
    end_lap(bike);
    write_results();
    bike->down = 0;
}
