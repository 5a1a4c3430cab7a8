// The dirt particles' pool: 2000 nodes, each with a billboard of its own
// that the track load reserves.
#pragma once

struct RoostType;

enum { PARTICLE_COUNT = 2000 };

struct ParticleNode {
    float position[3];
    float velocity[3];
    int billboard;                 // index in the billboard table
    const RoostType *roost_type;
    ParticleNode *next;
};

extern ParticleNode particle_nodes[PARTICLE_COUNT];
extern ParticleNode *free_particles;
extern ParticleNode *live_particles;

// Empties the pool; node i gets billboard first_billboard + i.
void reset_particles(int first_billboard);
// Empties the pool keeping each node's billboard; the billboards of the
// particles in flight are hidden.
void clear_particles(void);
