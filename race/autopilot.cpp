// The auto pilot's tic for one robot: riding aids on, the target point
// moved along the line, the next section picked, then the bike parked, put
// through the start procedure or handed to a driving law.
#include "race/autopilot.h"

#include <cmath>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "core/random.h"
#include "race/lap_pool.h"
#include "race/personalities.h"
#include "race/race_control.h"
#include "race/race_state.h"

namespace {

const uint8_t RIDING_AIDS =
    OPTION_STOP_WHEELIES | OPTION_FRONT_ANTILOCK | OPTION_REAR_ANTILOCK | OPTION_AUTO_SHIFT;

int is_crashed(const BikeState *bike)
{
    return bike->crash_timer > 0;
}

// Uniform in [0, 1) from 31 random bits.
double random_unit(void)
{
    return (double)(mt_next() & 0x7fffffffu) * (1.0 / 2147483648.0);
}

// The target moves on once the bike is near it, unless the line there
// runs against the bike's heading.
void advance_target(BikeState *bike)
{
    if (bike->line_index < 0)
        bike->line_index = 0;
    if (bike->line_index >= bike->own_line.count || !get_line_sample(bike, 0))
        return;
    const LineSample *s = get_line_sample(bike, bike->line_index);
    const dReal *p = dBodyGetPosition(bike->frame_body);
    double reach = bike->recovery_count == 3 ? 30.0 : 60.0;
    double dx = s->x - p[0], dz = s->z - p[2];
    double d = std::sqrt(dx * dx + dz * dz);
    if (!(d < reach))
        return;
    if (d > 4.0 && bike->line_index > 0) {
        const LineSample *before = get_line_sample(bike, bike->line_index - 1);
        double sx = s->x - before->x, sz = s->z - before->z;
        dVector3 forward;
        dBodyVectorToWorld(bike->frame_body, 0, 0, -1, forward);
        if (sx * sx + sz * sz > 1.0 && forward[0] * sx + forward[2] * sz < 0.0)
            return;
    }
    bike->line_index++;
    bike->progress_tic = current_tic;
    if (bike->line_index >= bike->own_line.count) {
        bike->line_index = 0;
        bike->own_line.count = 0;
    }
    if (bike->recovery_count > 0)
        bike->recovery_count--;
}

// Nothing to follow: stand on the brakes.
void hold_without_line(BikeState *bike)
{
    bike->throttle = 0.0f;
    bike->clutch = 0.0f;
    bike->front_brake = bike->rear_brake = 1.0f;
    bike->steer = 0.0f;
    bike->dab = is_crashed(bike) ? 0.0f : 1.0f;
}

void bottom_gear(BikeState *bike)
{
    bike->bike_options &= (uint8_t)~OPTION_AUTO_SHIFT;
    const BikeModel *model = get_bike_state_model(bike);
    bike->gear = model->gear_ratios[1] > 0.0f ? 1 : 0;
}

void drive(BikeState *bike)
{
    if (bike->recovery_count != 0)
        autopilot_recover(bike);
    else
        autopilot_steer(bike);
}

}  // namespace

void park_robot(BikeState *bike)
{
    bike->dab = is_crashed(bike) ? 0.0f : 1.0f;
    bike->clutch = 0.0f;
    bike->front_brake = bike->rear_brake = 1.0f;
    bike->steer = 0.0f;
    bottom_gear(bike);
}

int autopilot_start_procedure(BikeState *bike, double t)
{
    const double drop = race_settings.start_tic * (double)TIC_LENGTH;
    const double ready = race_settings.auto_pilot_hold_tics * (double)TIC_LENGTH;
    const float full = is_crashed(bike) ? 0.0f : 1.0f;
    if (t < ready) {
        // Blip the engine for 0.25 to 0.75 s every 2 to 2.5 s; the sign of
        // the launch time says whether the revs are on.
        park_robot(bike);
        if (bike->launch_time >= 0.0f) {
            bike->throttle = 0.0f;
            if (t > bike->launch_time)
                bike->launch_time = (float)-(t + 0.25 + random_unit() * 0.5);
        } else {
            bike->throttle = full;
            if (t > -bike->launch_time)
                bike->launch_time = (float)std::fmin(t + 2.0 + random_unit() * 0.5, ready);
        }
        return 0;
    }
    if (bike->launch_time <= ready)
        bike->launch_time = (float)(ready + 0.125 + random_unit() * 0.375);
    if (bike->launch_time < drop) {
        if (bike->launch_time > t) {
            park_robot(bike);
            bike->throttle = 0.0f;
            return 0;
        }
        const AutoPilotPersonality *p = get_bike_personality(bike);
        bike->launch_time =
            (float)(drop + p->reaction_low + random_unit() * (p->reaction_high - p->reaction_low));
    }
    if (t < bike->launch_time) {
        park_robot(bike);
        bike->throttle = full;
        return 0;
    }
    if (t < bike->launch_time + 2.0) {
        // Let the clutch out over a quarter second, shifting up by itself
        // once it is mostly out.
        double e = clamp_double(4.0 * (t - bike->launch_time), 0.0, 1.0);
        if (e < 0.75)
            bottom_gear(bike);
        else
            bike->bike_options |= OPTION_AUTO_SHIFT;
        bike->throttle = full;
        bike->dab = is_crashed(bike) ? 0.0f : (float)(1.0 - e);
        bike->clutch = (float)e;
        bike->front_brake = bike->rear_brake = 0.0f;
        bike->steer = 0.0f;
        return 0;
    }
    return 1;
}

void autopilot_pick_line(BikeState *bike)
{
    if (!bike || bike->personality == 0 || !bike->frame_body)
        return;
    bike->bike_options |= RIDING_AIDS;
    advance_target(bike);
    pick_line_section(bike);

    if (bike->line_index >= bike->own_line.count) {
        hold_without_line(bike);
        return;
    }
    double t = current_tic * (double)TIC_LENGTH;
    double drop = race_settings.start_tic * (double)TIC_LENGTH;
    if (t >= drop + 5.0) {
        drive(bike);
        return;
    }
    if (bike->launch_time == 0.0f)
        bike->launch_time = (float)((double)(mt_next() & 0x7fffffffu) * (1.0 / 1073741824.0));
    if (autopilot_start_procedure(bike, t))
        drive(bike);
}
