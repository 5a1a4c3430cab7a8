// Roost: particle counts by the roost frequency, spray angles for rolling
// and spinning wheels, the splash to both sides, the particle flight with
// its billboard, landing, the pool's limit, repeatable random draws, and
// contacts or tile values that must not make particles.
#include "bike/roost.h"

#include "app/shell.h"
#include "bike/particles.h"
#include "core/random.h"
#include "race/race_state.h"
#include "tests/bike/bike_fixture.h"
#include "track/objects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

static const double PI = 3.14159265358979323846;

static int live_count()
{
    int n = 0;
    for (ParticleNode *p = live_particles; p; p = p->next)
        n++;
    return n;
}

static int free_count()
{
    int n = 0;
    for (ParticleNode *p = free_particles; p; p = p->next)
        n++;
    return n;
}

static std::vector<ParticleNode> live_list()
{
    std::vector<ParticleNode> nodes;
    for (ParticleNode *p = live_particles; p; p = p->next)
        nodes.push_back(*p);
    return nodes;
}

// A spray kind that throws whatever the slip, without jitter.
static RoostType spray_kind(float count)
{
    RoostType type{};
    type.flag = 1;
    type.texture = 7;
    type.count = count;
    type.slip_threshold = 0.0f;
    type.slow_angle = (float)(PI / 2);
    type.fast_angle = (float)(PI / 16);
    type.slow_speed = 5.0f;
    type.fast_speed = 40.0f;
    type.size = 0.25f;
    type.grow = 4.0f;
    type.drag = 0.5f;
    type.vscale = 1.0f;
    type.randomize = 0.0f;
    type.colour[0] = type.colour[1] = type.colour[2] = type.colour[3] = 255;
    type.fade[3] = -2;
    return type;
}

// A physics world over flat ground, a pool of particles with billboards of
// their own, and a free wheel body standing 1 ft over the ground at (100, 100).
struct Roost : BikeWorld {
    dBodyID wheel = nullptr;
    WheelContact contact{};
    int first_billboard = 0;
    int saved_frequency = 0;

    void SetUp() override
    {
        BikeWorld::SetUp();
        saved_frequency = roost_frequency;
        first_billboard = billboard_table.count;
        for (int i = 0; i < PARTICLE_COUNT; i++)
            add_billboard(0.0f, 0.0f, 0.0f, 1.0f, 1.0f, nullptr);
        reset_particles(first_billboard);
        wheel = create_counted_body();
        dBodySetPosition(wheel, 100, 1, 100);
        contact.body = wheel;
        contact.rim_radius = 0.75f;
        contact.tyre_radius = 0.25f;
        contact.depth = 0.01f;
        set_contact_point(100, 0, 100);
        contact.contact_normal[1] = 1.0f;
        current_tic = 0;
        mt_seed(1234);
    }

    void TearDown() override
    {
        destroy_counted_body(wheel);
        reset_particles(-1 - PARTICLE_COUNT);
        free_billboard_names();
        free_growable_array(&billboard_table);
        free_growable_array(&billboard_draw_slots);
        roost_frequency = saved_frequency;
        BikeWorld::TearDown();
    }

    void set_contact_point(float x, float y, float z)
    {
        contact.contact_point[0] = x;
        contact.contact_point[1] = y;
        contact.contact_point[2] = z;
    }

    // Moving along -z at speed with the wheel turning at spin (rad/s about
    // its axle, negative = rolling forward); the contact velocity follows.
    void set_motion(double speed, double spin)
    {
        dBodySetLinearVel(wheel, 0, 0, -speed);
        dBodySetAngularVel(wheel, spin, 0, 0);
        dVector3 v;
        dBodyGetPointVel(wheel, contact.contact_point[0], contact.contact_point[1], contact.contact_point[2], v);
        for (int i = 0; i < 3; i++)
            contact.contact_velocity[i] = (float)v[i];
    }

    // The angle about the axle from the contact point to where a particle
    // left the tyre (its position when it is the first of its tic).
    static double spray_angle(const ParticleNode &p)
    {
        double ay = 0.0 - 1.0, az = 0.0;   // contact point minus wheel centre
        double by = p.position[1] - 1.0, bz = p.position[2] - 100.0;
        return atan2(ay * bz - az * by, ay * by + az * bz);
    }

    // The widest angle of many one-particle sprays.
    double widest_spray(float max_angle, int tries = 400)
    {
        double widest = 0.0;
        for (int i = 0; i < tries; i++) {
            reset_particles(first_billboard);
            emit_wheel_roost(&contact, 1, max_angle);
            if (live_particles)
                widest = std::fmax(widest, std::fabs(spray_angle(*live_particles)));
        }
        return widest;
    }
};

TEST_F(Roost, FrequencyGivesTwoOrThreePerKindAndZeroSkipsTheRefresh)
{
    BikeState *bike = create_bike("cr125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bike, nullptr);
    ground.terrain.tiles[0].roost[0] = spray_kind(10.0f);
    ground.terrain.tiles[0].roost[1] = spray_kind(10.0f);
    bike->front_contact.depth = 0.0f;
    bike->rear_contact.depth = 0.01f;
    bike->rear_contact.contact_point[1] = 0.0f;
    for (int i = 0; i < 3; i++)
        bike->rear_contact.contact_point[i] = (float)dBodyGetPosition(bike->rear_wheel_body)[i];
    bike->rear_contact.contact_point[1] -= 1.0f;
    bike->rear_contact.contact_normal[1] = 1.0f;

    // 250: two kinds of 2 or 3 each, both of a tic drawn alike.
    roost_frequency = 250;
    int threes = 0, tics = 400;
    for (int tic = 0; tic < tics; tic++) {
        reset_particles(first_billboard);
        emit_roost(bike);
        int n = live_count();
        ASSERT_TRUE(n == 4 || n == 6) << n;
        threes += n == 6;
    }
    EXPECT_GT(threes, tics * 4 / 10);
    EXPECT_LT(threes, tics * 6 / 10);

    // 0: nothing thrown and the contacts are not refreshed.
    roost_frequency = 0;
    bike->bike_flags &= ~BIKE_FLAG_SIMULATED;
    bike->last_contact_tic = -1;
    current_tic = 5;
    reset_particles(first_billboard);
    emit_roost(bike);
    EXPECT_EQ(live_count(), 0);
    EXPECT_EQ(bike->last_contact_tic, -1);
    roost_frequency = 100;
    emit_roost(bike);
    EXPECT_EQ(bike->last_contact_tic, 5);
}

TEST_F(Roost, SprayAnglesOfRollingAndSpinningWheels)
{
    RoostType &type = ground.terrain.tiles[0].roost[0];
    type = spray_kind(1.0f);
    struct Case {
        const char *name;
        double speed, spin;   // spin about the axle; -speed rolls
        float max_angle;
        double widest;
    } cases[] = {
        {"rolling: contact still", 20, -20, (float)(2 * PI), PI / 64},
        {"skidding: contact along the motion", 20, 0, (float)(2 * PI), PI / 64},
        {"rear spinning slowly: slow angle", 0.5, -4, (float)(2 * PI), PI / 2},
        {"rear spinning fast: fast angle", 0.5, -60, (float)(2 * PI), PI / 16},
        {"front spinning slowly: never past pi/8", 0.5, -4, (float)(PI / 8), PI / 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_motion(c.speed, c.spin);
        double widest = widest_spray(c.max_angle);
        EXPECT_LE(widest, c.widest + 1e-4);
        EXPECT_GT(widest, c.widest * 0.95);
    }
    // Halfway between the speeds (by square) sprays halfway between the angles.
    double half = std::sqrt((5.0 * 5.0 + 40.0 * 40.0) / 2);
    set_motion(0.5, -half);
    double widest = widest_spray((float)(2 * PI));
    double expected = (PI / 2 + PI / 16) / 2;
    EXPECT_LE(widest, expected + 1e-3);
    EXPECT_GT(widest, expected * 0.95);

    // Particles leave from behind the contact with the tyre's own velocity there.
    set_motion(0.5, -30);
    reset_particles(first_billboard);
    emit_wheel_roost(&contact, 1, (float)(2 * PI));
    ASSERT_EQ(live_count(), 1);
    const ParticleNode &p = *live_particles;
    EXPECT_GE(p.position[2], 100.0f);
    dVector3 u;
    dBodyGetPointVel(wheel, p.position[0], p.position[1], p.position[2], u);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(p.velocity[i], u[i], 1e-3);

    // Below the slip threshold nothing is sprayed.
    type.slip_threshold = 100.0f;
    reset_particles(first_billboard);
    emit_wheel_roost(&contact, 5, (float)(2 * PI));
    EXPECT_EQ(live_count(), 0);
}

TEST_F(Roost, SplashGoesToBothSidesAlternately)
{
    RoostType &type = ground.terrain.tiles[0].roost[0];
    type = spray_kind(4.0f);
    type.flag = 2;
    type.vscale = 2.0f;
    // Moving 4 ft/s along +z and 3 ft/s into the ground: only the 4 counts.
    dBodySetLinearVel(wheel, 0, -3, 4);
    for (int tic : {0, 1}) {
        SCOPED_TRACE(tic);
        current_tic = tic;
        reset_particles(first_billboard);
        emit_wheel_roost(&contact, 10, (float)(PI / 8));
        std::vector<ParticleNode> nodes = live_list();   // newest first
        ASSERT_EQ(nodes.size(), 4u);
        for (int i = 0; i < 4; i++) {
            const ParticleNode &p = nodes[3 - i];
            // 45 degrees up, to +x when tic xor i is even, else to -x; at
            // most the ground speed times vscale.
            double side = ((tic ^ i) & 1) ? -1.0 : 1.0;
            EXPECT_NEAR(p.velocity[0], side * p.velocity[1], 1e-4) << i;
            EXPECT_GT(p.velocity[1], 0.0f);
            EXPECT_EQ(p.velocity[2], 0.0f);
            EXPECT_LE(std::hypot(p.velocity[0], p.velocity[1]), 4.0 * 2.0 + 1e-4);
            // Spread along the throw by i/4 of a tic.
            double along = 4.0 * 0.70710677 * (i / 4.0) * TIC_LENGTH;
            EXPECT_NEAR(p.position[0], 100.0 + side * along, 1e-5);
            EXPECT_NEAR(p.position[1], along, 1e-5);
        }
    }
    // Straight into the ground there is no way along it: nothing.
    dBodySetLinearVel(wheel, 0, -5, 0);
    reset_particles(first_billboard);
    emit_wheel_roost(&contact, 10, (float)(PI / 8));
    EXPECT_EQ(live_count(), 0);
    EXPECT_EQ(free_count(), PARTICLE_COUNT);
}

TEST_F(Roost, CountsPerKindAndTheirRandomDraws)
{
    // Fraction 0.5: the first draw of each kind decides 2 or 3; kinds after
    // an absent one are not thrown.
    TileInfo &tile = ground.terrain.tiles[0];
    tile.roost[0] = spray_kind(2.5f);
    tile.roost[1] = spray_kind(40.0f);
    tile.roost[3] = spray_kind(5.0f);   // behind the absent third kind
    set_motion(20, 0);
    for (uint32_t seed : {1u, 2u, 3u, 99u}) {
        SCOPED_TRACE(seed);
        mt_seed(seed);
        uint32_t first = mt_next();
        int expected = ((first & 0x7FFFFFFF) * (1.0 / 2147483648.0) < 0.5 ? 3 : 2) + 6;
        mt_seed(seed);
        reset_particles(first_billboard);
        emit_wheel_roost(&contact, 6, (float)(2 * PI));
        EXPECT_EQ(live_count(), expected);
    }

    // The same seed throws the same particles.
    tile.roost[0].randomize = 15.0f;
    tile.roost[1].randomize = 15.0f;
    set_motion(0.5, -30);
    std::vector<ParticleNode> runs[2];
    for (std::vector<ParticleNode> &run : runs) {
        mt_seed(4242);
        reset_particles(first_billboard);
        emit_wheel_roost(&contact, 6, (float)(2 * PI));
        step_particles();
        run = live_list();
    }
    ASSERT_EQ(runs[0].size(), runs[1].size());
    ASSERT_GT(runs[0].size(), 6u);
    for (size_t i = 0; i < runs[0].size(); i++)
        for (int j = 0; j < 3; j++) {
            EXPECT_EQ(runs[0][i].position[j], runs[1][i].position[j]);
            EXPECT_EQ(runs[0][i].velocity[j], runs[1][i].velocity[j]);
        }
    // Jitter makes the particles differ from each other.
    EXPECT_NE(runs[0][0].velocity[0], runs[0][1].velocity[0]);
}

TEST_F(Roost, ParticlesFlyCarryTheirBillboardsAndLandOnlyFalling)
{
    RoostType type = spray_kind(1.0f);
    type.drag = 0.0f;
    type.colour[0] = 254;
    type.colour[3] = 3;
    type.fade[0] = 2;
    // Under the ground and rising: it flies on while it rises.
    float position[3] = {50, -5, 60}, velocity[3] = {1, 4, 0};
    ASSERT_EQ(spawn_particle(position, velocity, &type), 1);
    Billboard *b = get_billboard(live_particles->billboard);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->texture, 7);
    EXPECT_EQ(b->width, 0.25f);
    EXPECT_EQ(b->y, -5.0f);
    step_particles();
    EXPECT_EQ(b->colour[0], 255);   // 254 + 2, held at 255
    EXPECT_EQ(b->colour[3], 1);
    step_particles();
    EXPECT_EQ(b->colour[3], 0);     // 3 - 2 - 2, held at 0
    EXPECT_NEAR(b->width, 0.25f + 2 * 4.0f / 128, 1e-6);
    for (int tic = 3; tic <= 16; tic++) {
        step_particles();
        ASSERT_EQ(live_count(), 1) << tic;
    }
    EXPECT_NEAR(b->x, 50.0f + 16.0f / 128, 1e-4);
    EXPECT_LT(b->y, 0.0f);
    step_particles();   // the vertical velocity turns negative: it lands
    EXPECT_EQ(live_count(), 0);
    EXPECT_EQ(free_count(), PARTICLE_COUNT);
    EXPECT_EQ(b->texture, 0);

    // Above the ground it falls until it reaches it.
    float high[3] = {50, 2, 60}, still[3] = {0, 0, 0};
    spawn_particle(high, still, &type);
    int tics = 0;
    while (live_count() && tics < 1000) {
        step_particles();
        tics++;
    }
    // y after n tics: 2 - (32/128^2) (n-1)n/2 (velocity is lowered after the move).
    EXPECT_EQ(tics, 46);
}

TEST_F(Roost, DragNeverReversesOrGrowsTheVelocity)
{
    // Drag is per second: above 128 it would stop and past 256 flip and
    // grow the velocity every tic; below 0 it would speed it up.
    struct Case {
        float drag, keep;   // share of the horizontal velocity after one tic
    } cases[] = {{0.0f, 1.0f}, {64.0f, 0.5f}, {128.0f, 0.0f}, {1000.0f, 0.0f}, {-50.0f, 1.0f}, {NAN, 0.0f}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.drag);
        reset_particles(first_billboard);
        RoostType type = spray_kind(1.0f);
        type.drag = c.drag;
        float position[3] = {50, 1, 60}, velocity[3] = {8, 0, 0};
        ASSERT_EQ(spawn_particle(position, velocity, &type), 1);
        step_particles();
        EXPECT_FLOAT_EQ(live_particles->velocity[0], 8.0f * c.keep);
        for (int tic = 0; tic < 2000 && live_particles; tic++)
            step_particles();
        EXPECT_EQ(free_count(), PARTICLE_COUNT) << "the particle never landed";
    }
}

TEST_F(Roost, PoolLimitAndUnusableValues)
{
    RoostType type = spray_kind(1.0f);
    float position[3] = {50, 10, 60}, velocity[3] = {0, 1, 0};
    for (int i = 0; i < PARTICLE_COUNT; i++)
        ASSERT_EQ(spawn_particle(position, velocity, &type), 1);
    EXPECT_EQ(spawn_particle(position, velocity, &type), 0);
    EXPECT_EQ(live_count(), PARTICLE_COUNT);

    reset_particles(first_billboard);
    struct Case {
        const char *name;
        float position[3], velocity[3];
    } refused[] = {
        {"position not a number", {NAN, 1, 1}, {0, 0, 0}},
        {"velocity infinite", {1, 1, 1}, {0, INFINITY, 0}},
        {"position past the coordinate limit", {1, 2e6f, 1}, {0, 0, 0}},
        {"faster than any dirt", {1, 1, 1}, {0, 5000, 0}},
    };
    for (const Case &c : refused)
        EXPECT_EQ(spawn_particle(c.position, c.velocity, &type), 0) << c.name;
    EXPECT_EQ(spawn_particle(position, velocity, nullptr), 0);
    EXPECT_EQ(free_count(), PARTICLE_COUNT);
}

TEST_F(Roost, ContactsAndKindsThatMustNotThrow)
{
    TileInfo &tile = ground.terrain.tiles[0];
    tile.roost[0] = spray_kind(3.0f);
    tile.roost[1] = spray_kind(3.0f);
    tile.roost[1].flag = 2;
    set_motion(0.5, -30);
    WheelContact good = contact;
    emit_wheel_roost(&good, 5, (float)(2 * PI));
    EXPECT_EQ(live_count(), 6);

    struct Case {
        const char *name;
        void (*spoil)(WheelContact *, TileInfo *);
    } cases[] = {
        {"no depth", [](WheelContact *c, TileInfo *) { c->depth = 0.0f; }},
        {"depth not a number", [](WheelContact *c, TileInfo *) { c->depth = NAN; }},
        {"point not a number", [](WheelContact *c, TileInfo *) { c->contact_point[1] = NAN; }},
        {"contact velocity infinite", [](WheelContact *c, TileInfo *) { c->contact_velocity[2] = INFINITY; }},
        {"normal not a number", [](WheelContact *c, TileInfo *) { c->contact_normal[0] = NAN; }},
        {"no body", [](WheelContact *c, TileInfo *) { c->body = nullptr; }},
        {"count not a number", [](WheelContact *, TileInfo *t) { t->roost[0].count = t->roost[1].count = NAN; }},
        {"negative count", [](WheelContact *, TileInfo *t) { t->roost[0].count = t->roost[1].count = -3.0f; }},
        {"angles not numbers",
         [](WheelContact *, TileInfo *t) {
             t->roost[0].slow_angle = NAN;
             t->roost[1].flag = 0;
         }},
        {"vscale huge", [](WheelContact *, TileInfo *t) { t->roost[0].vscale = t->roost[1].vscale = 1e30f; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TileInfo saved = tile;
        WheelContact spoiled = contact;
        c.spoil(&spoiled, &tile);
        reset_particles(first_billboard);
        emit_wheel_roost(&spoiled, 5, (float)(2 * PI));
        EXPECT_EQ(live_count(), 0);
        EXPECT_EQ(free_count(), PARTICLE_COUNT);
        tile = saved;
    }
    // An infinite count is held to the limit.
    tile.roost[0].count = INFINITY;
    tile.roost[1].flag = 0;
    reset_particles(first_billboard);
    emit_wheel_roost(&contact, 5, (float)(2 * PI));
    EXPECT_EQ(live_count(), 5);
}
