// Engine, clutch and gears: the engine is one angular speed joined to the
// rear wheel by a slipping torsional spring; automatic shifting, the torque
// curves and the brake torques of both axles.
#include "bike/engine.h"

#include <cmath>

#include "bike/bike_math.h"
#include "bike/bike_setters.h"
#include "bike/bike_state.h"
#include "bike/physics_world.h"
#include "race/race_state.h"

namespace {

const double RPM_PER_RADIAN = 9.549296585513721;   // 60 / 2 pi
const double TWO_PI = 2.0 * M_PI;

// Option bits of the stop-wheelies mode.
const int OPTION_WHEELIE_CUT = 1 << 1;          // no drive torque in a wheelie
const int OPTION_FRONT_ALONE_RELEASE = 1 << 2;  // no front brake on the front wheel alone

const double CLUTCH_SLIP_ANGLE = M_PI / 4;      // drive phase lead at a full clutch
const double AUTO_CLUTCH_SPAN = 2000.0;         // rpm from open to closed
const double COUPLING_DAMPING_LIMIT = 500.0;
const double COUPLING_LIMIT = 1000000.0;
const double SLIDING_SPEED2 = 4.0;              // (2 ft/s)^2

int touches(const WheelContact *contact)
{
    return contact->depth > 0.0f;
}

double speed2(const float *v)
{
    return (double)v[0] * v[0] + (double)v[1] * v[1] + (double)v[2] * v[2];
}

// The wheel touches and slides over the ground faster than 2 ft/s.
int is_sliding(const WheelContact *contact)
{
    return touches(contact) && speed2(contact->contact_velocity) > SLIDING_SPEED2;
}

float gear_ratio(const BikeModel *model, int gear)
{
    if (gear < 0 || gear >= BIKE_GEAR_COUNT)
        return 0.0f;
    return model->gear_ratios[gear];
}

// Engine turns per rear wheel turn; 0 or less when the gear does not exist
// or the sprockets give no drive.
double overall_ratio(const BikeState *bike, const BikeModel *model)
{
    return (double)model->primary_ratio * gear_ratio(model, bike->gear) * bike->final_drive;
}

// The angle brought into -pi..pi by a remainder, so that no value, however
// large, takes more than one operation.
double wrap_angle(double angle)
{
    return std::remainder(angle, TWO_PI);
}

double hinge_angle(dJointID joint)
{
    return joint ? dJointGetHingeAngle(joint) : 0.0;
}

double hinge_rate(dJointID joint)
{
    return joint ? dJointGetHingeAngleRate(joint) : 0.0;
}

// Curve value at x (rpm / 500, already within 0..49).
double curve_at(const float *curve, double x)
{
    int i = (int)std::floor(x);
    double f = x - i;
    int j = i + 1;
    i = i < 0 ? 0 : i > TORQUE_CURVE_POINTS - 1 ? TORQUE_CURVE_POINTS - 1 : i;
    j = j < 0 ? 0 : j > TORQUE_CURVE_POINTS - 1 ? TORQUE_CURVE_POINTS - 1 : j;
    return curve[i] + ((double)curve[j] - curve[i]) * f;
}

// The front wheel is up, the rear down, and the bike is not pitching
// forward out of the wheelie.
int is_wheelie(const BikeState *bike)
{
    if (touches(&bike->front_contact) || !touches(&bike->rear_contact))
        return 0;
    double pitch_rate = 0.0;
    if (bike->frame_body) {
        const dReal *w = dBodyGetAngularVel(bike->frame_body);
        dVector3 local;
        dBodyVectorFromWorld(bike->frame_body, w[0], w[1], w[2], local);
        pitch_rate = local[0];
    }
    return pitch_rate > -0.03125;
}

// Gear change at most once every 32 tics, from the engine speed that the
// rear wheel implies, while the bike sits on its suspension and the rear
// wheel is in the air or gripping.
void auto_shift(BikeState *bike, const BikeModel *model)
{
    if (!(bike->bike_options & OPTION_AUTO_SHIFT))
        return;
    if (!(hinge_angle(bike->swingarm_joint) < -0.01))
        return;
    if (current_tic % 32 != 0)   // 0 for negative multiples as well
        return;
    if (is_sliding(&bike->rear_contact))
        return;
    double rpm = overall_ratio(bike, model) * hinge_rate(bike->rear_axle_joint) * RPM_PER_RADIAN;
    int gear = bike->gear;
    if (rpm < model->shift_down_rpm)
        gear--;
    else if (rpm > model->shift_up_rpm)
        gear++;
    else
        return;
    bike->gear = step_gear(model, gear);
}

// The brake as a joint motor holding the axle still with at most torque.
void set_brake(dJointID axle, double torque)
{
    set_joint_motor(axle, 0.0, torque);
}

}  // namespace

float get_engine_rpm(const BikeState *bike)
{
    return (float)(bike->engine_speed * RPM_PER_RADIAN);
}

float get_engine_torque(const BikeState *bike)
{
    const BikeModel *model = get_bike_state_model(bike);
    double x = bike->engine_speed * 9.549296 * 0.002;
    // Not a number reads as standing still.
    x = std::isnan(x) ? 0.0 : clamp_double(x, 0.0, TORQUE_CURVE_POINTS - 1);
    double closed = curve_at(model->closed_throttle_torque, x);
    double open = curve_at(model->open_throttle_torque, x);
    double torque = closed + (open - closed) * bike->throttle;
    if ((bike->bike_options & OPTION_WHEELIE_CUT) && torque > 0.0 && is_wheelie(bike))
        torque = 0.0;
    return (float)torque;
}

void engine_step(BikeState *bike)
{
    const BikeModel *model = get_bike_state_model(bike);
    const double h = TIC_LENGTH;
    const double inertia = model->engine_constants[0];
    const double stiffness = model->engine_constants[1];
    const double damping = model->engine_constants[2];

    auto_shift(bike, model);

    // A state that is not a number (a bad placement or script) restarts
    // the engine rather than poisoning every later tic.
    double axle_angle = hinge_angle(bike->rear_axle_joint);
    double axle_rate = hinge_rate(bike->rear_axle_joint);
    if (!std::isfinite(bike->engine_speed))
        bike->engine_speed = 0.0f;
    if (!std::isfinite(bike->rear_wheel_angle))
        bike->rear_wheel_angle = (float)axle_angle;

    double engine_torque = get_engine_torque(bike);
    double speed = bike->engine_speed;
    double ratio = overall_ratio(bike, model);

    if (ratio > 0.0 && std::isfinite(ratio)) {
        double error = wrap_angle(bike->rear_wheel_angle - axle_angle);

        double rpm = speed * 9.549296;
        double auto_rpm = bike->auto_clutch_rpms;
        double clutch = bike->clutch;
        if (rpm <= auto_rpm + AUTO_CLUTCH_SPAN)
            clutch = std::fmin(bike->clutch,
                               clamp_double((rpm - auto_rpm) / AUTO_CLUTCH_SPAN, 0.0, 1.0));

        double coupling = stiffness * error +
                          clamp_double(damping * (speed - ratio * axle_rate),
                                       -COUPLING_DAMPING_LIMIT, COUPLING_DAMPING_LIMIT);
        if (coupling < 0.0)
            clutch = bike->clutch;   // engine braking keeps the clutch as the rider holds it
        coupling = clamp_double(coupling, -COUPLING_LIMIT, COUPLING_LIMIT);

        // The phase slips to the edge of what the clutch holds; this tic's
        // torque still comes from the error before the slip.
        double slip = clutch * CLUTCH_SLIP_ANGLE;
        if (error > slip)
            bike->rear_wheel_angle = (float)(axle_angle + slip);
        else if (error < -slip)
            bike->rear_wheel_angle = (float)(axle_angle - slip);

        double applied = clutch * clutch * coupling;
        add_body_rel_torque(bike->rear_wheel_body, -applied, 0.0, 0.0);
        add_body_rel_torque(bike->frame_body, applied, 0.0, 0.0);

        speed += h * (engine_torque - applied / ratio) / inertia;
        bike->engine_speed = (float)speed;
        bike->rear_wheel_angle = (float)wrap_angle(bike->rear_wheel_angle + h * speed / ratio);
    } else {
        // No gear: the engine turns free and the phase rides with the wheel.
        speed += h * engine_torque / inertia;
        bike->engine_speed = (float)speed;
        bike->rear_wheel_angle = (float)wrap_angle(axle_angle);
    }

    double front = (double)bike->front_brake_torque * bike->front_brake;
    if ((bike->bike_options & OPTION_FRONT_ANTILOCK) && is_sliding(&bike->front_contact))
        front = 0.0;
    if ((bike->bike_options & OPTION_FRONT_ALONE_RELEASE) && touches(&bike->front_contact) &&
        !touches(&bike->rear_contact))
        front = 0.0;
    set_brake(bike->front_axle_joint, front);

    double rear = (double)bike->rear_brake_torque * bike->rear_brake;
    if ((bike->bike_options & OPTION_REAR_ANTILOCK) && is_sliding(&bike->rear_contact))
        rear = 0.0;
    set_brake(bike->rear_axle_joint, rear);
}
