// Dab support and realign after a fall.
#include "bike/dab_support.h"

#include <cmath>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "bike/body_contact.h"
#include "bike/physics_utils.h"
#include "bike/physics_world.h"
#include "race/autopilot.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/terrain.h"
#include "track/timing.h"

namespace {

const float H = TIC_LENGTH;

int touches(const WheelContact *contact)
{
    return contact->depth > 0.0f;
}

// The rider body's ground probe: a sphere around it a little larger than
// the seat is high.
int rider_near_ground(const BikeState *bike)
{
    if (!current_terrain || !bike->rider_body)
        return 0;
    const BikeModel *m = get_bike_state_model(bike);
    const dReal *p = dBodyGetPosition(bike->rider_body);
    float centre[3] = {(float)p[0], (float)p[1], (float)p[2]};
    float point[3], normal[3], depth;
    return terrain_collide_sphere(current_terrain, centre, m->rider_position[1] + 1.0f, point,
                                  normal, &depth);
}

// The last gate of the last lap, and of the last lap this bike completed:
// a stopped, tipped rider after the leader's finish is finished too.
int finished_after_leader(const BikeState *bike)
{
    int first = lap_gate_list.first_lap_count;
    int per_lap = lap_gate_list.normal_lap_count;
    if (first + per_lap <= 0 || bike->finished || bike->gates_passed < 1)
        return 0;
    if (running_order_count < 1)
        return 0;
    const BikeState *leader = get_slot_bike(running_order[0].slot);
    if (!leader)
        return 0;
    // The race's final lap: a timed race ends on the lap decided when time
    // is up, not on its extra laps alone.
    int laps = race_settings.final_lap;
    if (laps >= LAP_NOT_DECIDED)
        return 0;
    long long last = laps > 0 ? (long long)(laps - 1) * per_lap + first - 1 : 0;
    if (last < 0 || last > 0x7fffffff)
        return 0;
    int final_gate = (int)last;
    int leader_time = get_gate_time(leader, final_gate);
    if (leader->gates_passed <= final_gate || leader_time < 0)
        return 0;
    if (bike->gates_passed < first)
        return 0;   // the first lap is not complete
    int whole_laps = per_lap > 0 ? (bike->gates_passed - first) / per_lap : 0;
    int own_time = get_gate_time(bike, first - 1 + whole_laps * per_lap);
    return own_time >= 0 && own_time >= leader_time;
}

void yaw_motor(BikeState *bike, double velocity, double max_torque)
{
    dJointID motor = create_group_amotor(bike->frame_body, nullptr);
    if (!motor)
        return;
    dJointSetAMotorNumAxes(motor, 1);
    dJointSetAMotorAxis(motor, 0, 0, 0, 1, 0);
    set_joint_motor(motor, velocity, max_torque);
}

// Turns the stopped bike toward the racing line; 1 when the support ends
// here.
int realign(BikeState *bike)
{
    float target[3];
    if (!find_line_target_point(bike, target, 0))
        return 0;
    const dReal *p = dBodyGetPosition(bike->frame_body);
    const dReal *r = dBodyGetRotation(bike->frame_body);
    double d[3] = {target[0] - p[0], target[1] - p[1], target[2] - p[2]};
    double f[3] = {r[2], 0.0, r[10]};
    double length2 = f[0] * f[0] + f[2] * f[2];
    if (!(length2 > 1.0 / 1024.0))
        return 0;
    double length = std::sqrt(length2);
    f[0] /= length;
    f[2] /= length;
    double s = d[0] * f[0] + d[2] * f[2];
    double n = d[0] * f[2] - d[2] * f[0];
    double rate = bike->knock >= 0.0f ? M_PI / 2.0 : M_PI;
    if (n >= 0.0)
        rate = -rate;
    double k = bike->total_mass * 320.0;
    if (s >= 0.0 || std::fabs(n) >= -s / 4.0) {
        yaw_motor(bike, rate, k);
        double lift = bike->total_mass * 32.0;
        if (touches(&bike->rear_contact))
            add_body_force(bike->rear_wheel_body, 0, lift, 0);
        if (touches(&bike->front_contact))
            add_body_force(bike->front_wheel_body, 0, lift, 0);
        return 1;
    }
    yaw_motor(bike, rate, std::fabs(n / (s / 4.0)) * k);
    return 0;
}

void roll_support(BikeState *bike, double speed2, double lean)
{
    double c = lean >= 0.0 ? -M_PI / 8.0 : M_PI / 8.0;
    if ((bike->bike_options & OPTION_AUTO_DAB) && bike->knock < 0.0f)
        c *= 3.0;
    if (std::fabs(lean) < M_PI / 16.0)
        c = std::fabs(lean) * c * 16.0 / M_PI;

    dVector3 w;
    const dReal *aw = dBodyGetAngularVel(bike->frame_body);
    dBodyVectorFromWorld(bike->frame_body, aw[0], aw[1], aw[2], w);
    double roll_rate = w[2];
    double force = 0.0;
    if (c > 0.0 && c > roll_rate)
        force = -400.0;
    else if (c < 0.0 && c < roll_rate)
        force = 400.0;
    if (std::fabs(lean) < M_PI / 32.0)
        force = std::fabs(lean) * force * 32.0 / M_PI;

    if (bike->back_up < 0.125f || speed2 > 25.0) {
        double dab_speed2 = (double)bike->max_dab_speed * bike->max_dab_speed;
        double limit = bike->roll_limit_angle;
        double allowed;
        if (speed2 == 0.0)
            allowed = 0.0;
        else if (speed2 >= dab_speed2)
            allowed = 2.0 * M_PI;
        else if (speed2 <= 225.0)
            allowed = (1.0 - std::pow(1.0 - clamp_double(speed2 / dab_speed2, 0.0, 1.0), 32.0)) *
                      limit;
        else
            allowed = limit + (2.0 * M_PI - limit) *
                                  clamp_double((speed2 - 225.0) / (dab_speed2 - 225.0), 0.0, 1.0);
        allowed *= 1.25;
        double steer = c >= 0.0 ? -bike->steer : bike->steer;
        double help = clamp_double(2.0 * (steer - 0.5), 0.0, 1.0);
        double q = clamp_double((std::fabs(lean) - allowed) / 0.25, 0.0, 1.0);
        force *= q + (1.0 - q) * help;
        if (speed2 > 25.0)
            force *= bike->steering_saturation;
    }

    if (force == 0.0 || !std::isfinite(force))
        return;
    const dReal *r = dBodyGetRotation(bike->frame_body);
    double point[3] = {0, 4, 0};
    if (r[5] >= 0.707) {
        double up[3] = {0, std::fabs(force) / 8.0, 0};
        add_body_force_at_rel_pos(bike->frame_body, up, point);
        double side[3] = {force, 0, 0};
        add_body_rel_force_at_rel_pos(bike->frame_body, side, point);
    } else {
        double up[3] = {0, std::fabs(force), 0};
        add_body_force_at_rel_pos(bike->frame_body, up, point);
    }
}

}  // namespace

void support_stopped_bike(BikeState *bike)
{
    if (bike->crash_timer > 0) {
        bike->foot_down_amount = fminf(1.0f, bike->foot_down_amount + 8.0f * H);
        return;
    }
    if (bike->dab == 0.0f)
        return;
    if (!touches(&bike->front_contact) && !rider_near_ground(bike))
        return;

    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    double speed2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    double lean = get_bike_lean(bike->frame_body);
    double dab_speed = bike->max_dab_speed;
    if (bike->knock <= -512.0f)
        dab_speed = fmax(dab_speed, 75.0);
    if (speed2 > dab_speed * dab_speed)
        return;
    if (speed2 > 225.0 && !(touches(&bike->front_contact) && touches(&bike->rear_contact) &&
                            std::fabs(lean) >= 0.5890486))
        return;

    bike->foot_down_amount = fminf(1.0f, bike->foot_down_amount + 8.0f * H);
    if (bike->arcade_physics)
        return;

    if (speed2 >= 25.0) {
        if (bike->knock > 0.0f)
            return;
    } else if (std::fabs(lean) > M_PI / 8.0 && std::fabs(lean) < 1.0995574) {
        if (finished_after_leader(bike)) {
            bike->finished = 1;
        } else if ((bike->bike_options & OPTION_AUTO_ALIGN) && bike->back_up <= 0.125f) {
            if (realign(bike))
                return;
        }
    }
    roll_support(bike, speed2, lean);
}
