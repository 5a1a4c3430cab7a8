// The auto pilot's personalities: how a robot rider chooses its line and
// how fast it lets the clutch out at the gate drop.
#pragma once

struct BikeState;

enum { AUTO_PILOT_PERSONALITY_ROWS = 5 };

struct AutoPilotPersonality {
    const char *key;
    int near_mode;          // line search mode while not far ahead
    int far_mode;           // ... and once the lead passes the threshold
    float lead_threshold;   // seconds
    float reaction_low;     // seconds after the gate drop
    float reaction_high;
};

// Row 0 is no auto pilot; its key is never matched.
extern const AutoPilotPersonality auto_pilot_personalities[AUTO_PILOT_PERSONALITY_ROWS];

// The bike's row; a value outside 1..4 reads as row 1.
const AutoPilotPersonality *get_bike_personality(const BikeState *bike);
