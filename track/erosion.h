// Ruts: the tyres' erosion records, their wire message, the queue of points
// waiting to be dug and the per-frame drain that digs them into the terrain.
#pragma once

#include <cstdint>

enum {
    EROSION_POINTS = 64,
    EROSION_QUEUE_SIZE = 0x20000,
    EROSION_MESSAGE_MAX = 17 + 4 * (EROSION_POINTS - 1),   // 269 bytes
    EROSION_NO_DEADLINE = 2147483647,
};

struct ErosionPoint {
    float x, z;
    float direction_x, direction_z;
    int flags;   // samples averaged into the point
};

// One tyre's rut as it is collected (two in every bike).
struct ErosionRecord {
    ErosionPoint points[EROSION_POINTS];
    float step_bounds[4];   // dx min, dz min, dx max, dz max
    int last_close_tic;
    int point_count;
    float last_sample_x, last_sample_z;
    float sum_x, sum_z, sum_direction_x, sum_direction_z;
    float travelled;
    int samples;
};

struct ErosionQueueEntry {
    float x, z;
    float direction_x, direction_z;
    int flags;   // low four bits of a point's sample count
};

struct ErosionQueue {
    ErosionQueueEntry entries[EROSION_QUEUE_SIZE];
    int count;
    int oldest;
    int full_reported;
    int deadline;
};

extern ErosionQueue erosion_queue;
// The race's erosion amount in 1/1024 units; -1 while an online race has
// not been told it. The drain takes it as erosion_amount / 1024.
extern int erosion_amount;

void clear_erosion_record(ErosionRecord *record);
// The message bytes of a record; its length, or 0 when it has no points.
int encode_erosion_record(uint8_t *message, const ErosionRecord *record);
void queue_erosion_message(const uint8_t *message, int length);
void reset_erosion_queue(void);
// viewer: the watched bike's position (three floats) or null; amount: the
// erosion setting (0..100).
void drain_erosion_queue(const float *viewer, float amount);

// One direction component and two flag bits as a message byte, and back.
uint8_t encode_erosion_direction(float component, int flag_bits);
float decode_erosion_direction(uint8_t byte);
