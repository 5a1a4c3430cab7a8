// Wheel contact refresh between world steps and the read-outs of where and
// how each wheel touches the ground; the per-tic tyre ground contact with
// its optional telemetry text.
#pragma once

struct BikeState;
struct WheelContact;

void refresh_wheel_contacts(BikeState *bike);
void get_contact_ground_velocity(const WheelContact *contact, float *out);
float query_front_contact_depth(BikeState *bike);
int query_front_contact_position(BikeState *bike, float *out);
int query_front_contact_slip(BikeState *bike, float *out);
int query_front_contact_velocity(BikeState *bike, float *out);
float query_rear_contact_depth(BikeState *bike);
int query_rear_contact_position(BikeState *bike, float *out);
int query_rear_contact_slip(BikeState *bike, float *out);
int query_rear_contact_velocity(BikeState *bike, float *out);
void step_tire_ground_contact(BikeState *bike);
