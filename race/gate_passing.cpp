// Gate passing of one bike in one tic: the line a human rider records for
// the lap pool, the gate test around the bike's next gate, the gate time,
// the section offered to the pool or the robot's run credited at a timing
// gate, the lap end that finishes a bike, and the results update after a
// pass.
#include "race/gates.h"

#include <climits>
#include <cmath>

#include <ode/ode.h>

#include "bike/bike_state.h"
#include "bike/contact_readout.h"
#include "bike/physics_utils.h"
#include "race/autopilot.h"
#include "race/lap_pool.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "track/timing.h"

namespace {

const int RECORD_INTERVAL_TICS = 32;
// A robot's run counts when it ends within 4 ft of its line, the line
// there being at least 15/16 of the bike's speed.
const double ON_LINE_SQUARED_OFFSET = 16.0;
const double ON_LINE_SPEED_SHARE = 0.9375;

int row_of_gates(int gates)
{
    int row, lap_first_row;
    lap_row_for_gates(gates, &row, &lap_first_row);
    return row;
}

int is_robot(const BikeState *bike)
{
    return bike->personality != 0;
}

int is_timing_gate(int gate)
{
    int entry = get_lap_list_entry(gate);
    return entry >= 0 && entry < NOT_TIMING_MARK;
}

// The samples of a line array, or null when it holds no line samples.
LineSample *line_samples(const GrowableArray *line)
{
    if (!line->data || line->element_size != (int)sizeof(LineSample) || line->count <= 0)
        return nullptr;
    return (LineSample *)line->data;
}

double get_body_speed(dBodyID body)
{
    const dReal *v = dBodyGetLinearVel(body);
    return std::sqrt((double)v[0] * v[0] + (double)v[1] * v[1] + (double)v[2] * v[2]);
}

void empty_lap_buffers(BikeState *bike)
{
    bike->lap_buffers[0].count = 0;
    bike->lap_buffers[1].count = 0;
}

// Every 32 tics a human rider's frame goes into the buffer of the row it
// rides: position, speed (negative with both wheels off the ground) and
// lean. A section longer than the pool takes is spoiled.
void record_line_sample(BikeState *bike)
{
    if (current_tic % RECORD_INTERVAL_TICS != 0 || is_robot(bike) || !bike->frame_body)
        return;
    int half = row_of_gates(bike->gates_passed) & 1;
    GrowableArray *buffer = &bike->lap_buffers[half];
    if (buffer->element_size != (int)sizeof(LineSample))
        return;
    if (buffer->count >= LAP_SECTION_SAMPLE_LIMIT) {
        bike->lap_buffer_spoiled[half] = 1;
        return;
    }
    const dReal *p = dBodyGetPosition(bike->frame_body);
    LineSample sample;
    sample.x = (float)p[0];
    sample.y = (float)p[1];
    sample.z = (float)p[2];
    sample.speed = (float)get_body_speed(bike->frame_body);
    sample.lean = get_bike_lean(bike->frame_body);
    if (!std::isfinite(sample.x) || !std::isfinite(sample.y) || !std::isfinite(sample.z) ||
        !std::isfinite(sample.speed) || !std::isfinite(sample.lean))
        return;
    if (query_front_contact_depth(bike) <= 0.0f && query_rear_contact_depth(bike) <= 0.0f)
        sample.speed = -sample.speed;
    LineSample *slot = (LineSample *)append_to_growable_array(buffer);
    if (slot)
        *slot = sample;
}

// The candidate a robot picked for the row gets a penalty; its ring slot
// is cleared.
void penalise_pick(BikeState *bike, int row)
{
    if (row < 0)
        return;
    penalise_candidate(row, bike->picked_serials[row & 3]);
    bike->picked_serials[row & 3] = 0;
}

void clear_picks(BikeState *bike)
{
    for (int &serial : bike->picked_serials)
        serial = 0;
}

// A rider down is seen once. A robot's pick of the section it rides is
// penalised, and that of the section before when its gate is less than a
// second behind.
void note_rider_down(BikeState *bike)
{
    if (bike->down != 1)
        return;
    bike->down = 2;
    if (!is_robot(bike))
        return;
    int row = row_of_gates(bike->gates_passed);
    penalise_pick(bike, row);
    int last = get_gate_time(bike, bike->gates_passed - 1);
    long long since = (long long)current_tic - last;
    if (last >= 0 && since >= 0 && since < TIC_RATE)
        penalise_pick(bike, row - 1);
    clear_picks(bike);
}

// Times at the last three timing gates up to gate g (g the last), the race
// start standing before gate 0: 1 with the times when every gate from the
// first of them to g has one, 0 with the first gate that has none in *gap,
// -1 when there are no three or their times run backwards.
int get_section_times(const BikeState *bike, int gate, int *times, int *gap)
{
    int gates[3], found = 0;
    for (int h = gate; h >= 0 && found < 3; h--)
        if (is_timing_gate(h))
            gates[found++] = h;
    if (found == 2)
        gates[found++] = -1;
    if (found < 3)
        return -1;
    for (int h = gates[2] < 0 ? 0 : gates[2]; h <= gate; h++)
        if (get_gate_time(bike, h) < 0) {
            *gap = h;
            return 0;
        }
    int start = gates[2] < 0 ? race_settings.start_tic : get_gate_time(bike, gates[2]);
    int middle = get_gate_time(bike, gates[1]), end = get_gate_time(bike, gates[0]);
    if (start > middle || middle > end)
        return -1;
    times[0] = start;
    times[1] = middle;
    times[2] = end;
    return 1;
}

// The samples just behind and at the bike's place along its line, as the
// driving laws read it: 0 when they are not two distinct points.
int get_line_segment_at_bike(const BikeState *bike, const LineSample **a, const LineSample **b)
{
    const LineSample *line = line_samples(&bike->own_line);
    int count = bike->own_line.count;
    if (!line || count < 2)
        return 0;
    double position = line_position(bike);
    if (!(position >= 0.0))
        position = 0.0;
    if (position > count - 1)
        position = count - 1;
    int at = (int)position;
    if (at < 1)
        return 0;
    *a = &line[at - 1];
    *b = &line[at];
    return 1;
}

// The robot ends its section within 4 ft of the line through the samples
// around it, and one of them is at least 15/16 of its speed.
int is_run_on_line(const BikeState *bike)
{
    const LineSample *a, *b;
    if (!bike->frame_body || !get_line_segment_at_bike(bike, &a, &b))
        return 0;
    double u[3] = {(double)b->x - a->x, (double)b->y - a->y, (double)b->z - a->z};
    double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
    if (!(uu > 0.0) || !std::isfinite(uu))
        return 0;
    const dReal *p = dBodyGetPosition(bike->frame_body);
    double d[3] = {p[0] - a->x, p[1] - a->y, p[2] - a->z};
    double t = (d[0] * u[0] + d[1] * u[1] + d[2] * u[2]) / uu;
    double offset = 0.0;
    for (int k = 0; k < 3; k++)
        offset += (d[k] - t * u[k]) * (d[k] - t * u[k]);
    double least = ON_LINE_SPEED_SHARE * get_body_speed(bike->frame_body);
    return offset <= ON_LINE_SQUARED_OFFSET &&
           (std::fabs((double)a->speed) >= least || std::fabs((double)b->speed) >= least);
}

// At a timing gate of row r > 0: the robot's run along its pick of row
// r - 1 counts with the times through it and the section after; a skipped
// gate penalises the pick of its row, a run off the line the pick of row r.
void credit_robot_run(BikeState *bike, int row)
{
    if (!is_run_on_line(bike)) {
        penalise_pick(bike, row);
        clear_picks(bike);
        return;
    }
    int times[3], gap = 0;
    int known = get_section_times(bike, bike->gates_passed, times, &gap);
    if (known > 0) {
        credit_lap_candidate(row - 1, bike->picked_serials[(row - 1) & 3], times[1] - times[0],
                             times[2] - times[0]);
    } else if (known == 0) {
        penalise_pick(bike, row_of_gates(gap));
        clear_picks(bike);
    }
}

// At a timing gate of row r > 0: the section of row r - 1 recorded by a
// human goes to the pool with its section and pair times.
void offer_recorded_section(BikeState *bike, int row)
{
    int times[3], gap = 0;
    if (get_section_times(bike, bike->gates_passed, times, &gap) <= 0)
        return;
    const GrowableArray *buffer = &bike->lap_buffers[row & 1];
    const LineSample *samples = line_samples(buffer);
    offer_lap_section(row, samples, samples ? buffer->count : 0, bike->lap_buffer_spoiled[row & 1],
                      times[1] - times[0], times[2] - times[0]);
}

// The lap pool's part of passing a gate (gates passed = the gate).
void update_lap_pool(BikeState *bike, int gate, int at_next_gate)
{
    if (!is_timing_gate(gate)) {
        empty_lap_buffers(bike);
        return;
    }
    int row = row_of_gates(gate);
    if (is_robot(bike) || !at_next_gate) {
        if (is_robot(bike) && row > 0 && lap_pool)
            credit_robot_run(bike, row);
        empty_lap_buffers(bike);
        return;
    }
    if (row > 0)
        offer_recorded_section(bike, row - 1);
    int next = row_of_gates(gate + 1) & 1;
    bike->lap_buffers[next].count = 0;
    bike->lap_buffer_spoiled[next] = 0;
}

// A finished robot rolls out: the speeds of its line from its place on to
// the end fall to a quarter of the recorded ones.
void roll_out_robot(BikeState *bike)
{
    LineSample *line = line_samples(&bike->own_line);
    int count = bike->own_line.count;
    if (!line)
        return;
    double position = line_position(bike);
    if (!(position >= 0.0))
        position = 0.0;
    if (position > count - 1)
        position = count - 1;
    int from = (int)position;
    for (int k = from; k < count; k++)
        line[k].speed *= 0.25f + 0.75f * (float)(count - k) / (float)(count - from);
}

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
    if (is_robot(bike))
        roll_out_robot(bike);
}

}  // namespace

void update_gates_and_lap_pool(BikeState *bike)
{
    if (!bike || !track_has_timing() || bike->finished || !bike->front_wheel_body)
        return;

    record_line_sample(bike);
    note_rider_down(bike);

    int gate = find_passed_gate(bike);
    if (gate < 0)
        return;

    // A rider down in this section spoils its recording.
    int at_next_gate = gate == bike->gates_passed;
    if (bike->down)
        bike->lap_buffer_spoiled[row_of_gates(bike->gates_passed) & 1] = 1;
    bike->gates_passed = gate;
    set_gate_time(bike, gate, current_tic);
    update_lap_pool(bike, gate, at_next_gate);

    bike->gates_passed = gate + 1;
    end_lap(bike);
    write_results();
    bike->down = 0;
}
