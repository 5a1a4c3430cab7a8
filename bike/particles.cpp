// The dirt particles' pool and its billboards.
#include "bike/particles.h"

#include <cstring>

#include "track/objects.h"

ParticleNode particle_nodes[PARTICLE_COUNT];
ParticleNode *free_particles;
ParticleNode *live_particles;

void reset_particles(int first_billboard)
{
    memset(particle_nodes, 0, sizeof particle_nodes);
    for (int i = 0; i < PARTICLE_COUNT; i++) {
        particle_nodes[i].billboard = first_billboard + i;
        particle_nodes[i].next = i + 1 < PARTICLE_COUNT ? &particle_nodes[i + 1] : nullptr;
    }
    free_particles = &particle_nodes[0];
    live_particles = nullptr;
}

void clear_particles(void)
{
    for (ParticleNode *p = live_particles; p; p = p->next) {
        Billboard *billboard = get_billboard(p->billboard);
        if (billboard)
            billboard->texture = 0;
    }
    reset_particles(particle_nodes[0].billboard);
}
