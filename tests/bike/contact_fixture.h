// Fixtures of the contact tests: loose wheel and ball bodies over the bike
// world's flat terrain, all destroyed before the world is.
#pragma once

#include "bike/bike_state.h"
#include "bike/physics_world.h"
#include "tests/bike/bike_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

struct ContactWorld : BikeWorld {
    std::vector<dBodyID> bodies;

    void TearDown() override
    {
        empty_contact_group();
        for (dBodyID body : bodies)
            destroy_counted_body(body);
        bodies.clear();
        BikeWorld::TearDown();
    }

    dBodyID make_body(double x, double y, double z, double mass = 0.5)
    {
        dBodyID body = create_counted_body();
        dBodySetPosition(body, x, y, z);
        dMass m;
        dMassSetSphereTotal(&m, mass, 0.5);
        dBodySetMass(body, &m);
        bodies.push_back(body);
        return body;
    }

    // An upright wheel (axle along x) centred at (x, y, z).
    WheelContact make_wheel(double x, double y, double z, float rim = 0.8f, float tyre = 0.3f)
    {
        WheelContact wheel;
        memset(&wheel, 0, sizeof wheel);
        wheel.body = make_body(x, y, z, 0.5625);
        wheel.axle[0] = 1.0f;
        wheel.rim_radius = rim;
        wheel.tyre_radius = tyre;
        return wheel;
    }

    float &height(int column, int row)
    {
        return ground.heights[(size_t)row * ground.terrain.side + column];
    }

    // Every sample from a function of its world position.
    void shape_ground(const std::function<float(float x, float z)> &f)
    {
        int side = ground.terrain.side;
        float cell = ground.terrain.cell;
        for (int row = 0; row < side; row++)
            for (int column = 0; column < side; column++)
                height(column, row) = f(column * cell, row * cell);
    }

    TileInfo &tile0()
    {
        return ground.terrain.tiles[0];
    }
};

inline void set_friction_points(TileInfo *tile, std::vector<std::pair<float, float>> points)
{
    for (int k = 0; k < TILE_CURVE_POINTS; k++) {
        bool used = k < (int)points.size();
        tile->friction_speed[k] = used ? points[k].first : 1048576.0f;
        tile->friction_value[k] = used ? points[k].second : 0.0f;
    }
}

// Points of (speed, light, full); unused points have speed 0.
inline void set_roll_points(TileInfo *tile, std::vector<std::array<float, 3>> points)
{
    for (int k = 0; k < TILE_CURVE_POINTS; k++) {
        bool used = k < (int)points.size();
        tile->roll_resist_speed[k] = used ? points[k][0] : 0.0f;
        tile->roll_resist_value[k][0] = used ? points[k][1] : 0.0f;
        tile->roll_resist_value[k][1] = used ? points[k][2] : 0.0f;
    }
}

// The spring and damper constants behind a soft ERP and CFM over one tic.
inline void softness_constants(const dSurfaceParameters &s, double *kp, double *kd)
{
    double h = 1.0 / 128.0;
    *kp = s.soft_erp / (h * s.soft_cfm);
    *kd = 1.0 / s.soft_cfm - h * *kp;
}
