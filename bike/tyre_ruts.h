// Tyre rut recording: the ground force under each tyre becomes dig samples,
// averaged into rut points about a foot apart and sent as erosion messages;
// the same computation leaves six telemetry values.
#pragma once

struct ErosionRecord;
struct WheelContact;

// Speed, slip, lateral force, longitudinal force, lateral dig force and
// longitudinal dig force of the last wheel processed.
extern float tyre_telemetry[6];

void wheel_ground_contact(ErosionRecord *record, const WheelContact *wheel, int front);
void erosion_flush(ErosionRecord *record);
void contact_debug_text(char *text, int size);
