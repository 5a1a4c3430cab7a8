// Creating and freeing bikes: bodies, joints and masses in the physics
// world, skins and meshes with their fallbacks, the number plate, and
// nothing left behind.
#include "bike/bike_create.h"

#include "bike/bike_getters.h"
#include "bike/bike_setters.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "render/render_settings.h"
#include "support/test_support.h"
#include "tests/bike/bike_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

static void expect_at(dBodyID body, const float *where)
{
    const dReal *p = dBodyGetPosition(body);
    EXPECT_NEAR(p[0], where[0], 1e-6);
    EXPECT_NEAR(p[1], where[1], 1e-6);
    EXPECT_NEAR(p[2], where[2], 1e-6);
}

TEST_F(BikeWorld, CreateBuildsSevenBodiesAndSixJointsAtRest)
{
    BikeState *bike = create_bike("cr125", 3, 1, "12", nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(bike, &bike_states[3]);
    EXPECT_EQ(live_body_count(), 7);
    EXPECT_EQ(live_joint_count(), 6);
    EXPECT_EQ(bike->slot, 3);
    EXPECT_EQ(bike->model_index, 0);
    EXPECT_EQ(bike->bike_flags & BIKE_FLAG_SIMULATED, BIKE_FLAG_SIMULATED);
    EXPECT_STREQ(bike->rider_number, "12");
    EXPECT_EQ(bike->physics_weight, 1.0f);

    const BikeModel *m = &bike_models[0];
    expect_at(bike->frame_body, m->frame_position);
    expect_at(bike->front_wheel_body, m->front_wheel.position);
    expect_at(bike->rear_wheel_body, m->rear_wheel.position);
    expect_at(bike->fork_upper_body, m->fork_upper_position);
    expect_at(bike->fork_lower_body, m->fork_lower_position);
    expect_at(bike->swingarm_body, m->swingarm_position);
    expect_at(bike->rider_body, m->rider_position);

    // Each joint holds its two bodies, the first body first.
    struct JointCase {
        dJointID joint;
        dBodyID first, second;
        int type;
    } joints[] = {
        {bike->front_axle_joint, bike->fork_lower_body, bike->front_wheel_body, dJointTypeHinge},
        {bike->rear_axle_joint, bike->swingarm_body, bike->rear_wheel_body, dJointTypeHinge},
        {bike->steering_joint, bike->fork_upper_body, bike->frame_body, dJointTypeHinge},
        {bike->fork_joint, bike->fork_upper_body, bike->fork_lower_body, dJointTypeSlider},
        {bike->swingarm_joint, bike->swingarm_body, bike->frame_body, dJointTypeHinge},
        {bike->rider_joint, bike->rider_body, bike->frame_body, dJointTypeHinge2},
    };
    for (int i = 0; i < BIKE_JOINT_COUNT; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(dJointGetBody(joints[i].joint, 0), joints[i].first);
        EXPECT_EQ(dJointGetBody(joints[i].joint, 1), joints[i].second);
        EXPECT_EQ(dJointGetType(joints[i].joint), joints[i].type);
        EXPECT_EQ(dJointGetFeedback(joints[i].joint), &bike->feedback[i]);
    }
    // Stops: steering +-pi/4, fork travel 1 ft, swingarm travel.
    EXPECT_NEAR(dJointGetHingeParam(bike->steering_joint, dParamLoStop), -M_PI / 4, 1e-9);
    EXPECT_NEAR(dJointGetHingeParam(bike->steering_joint, dParamHiStop), M_PI / 4, 1e-9);
    EXPECT_NEAR(dJointGetSliderParam(bike->fork_joint, dParamLoStop), -1.0, 1e-9);
    EXPECT_NEAR(dJointGetHingeParam(bike->swingarm_joint, dParamLoStop), -0.530304, 1e-6);
    EXPECT_NEAR(dJointGetHingeAngle(bike->steering_joint), 0.0, 1e-9);
    EXPECT_NEAR(dJointGetSliderPosition(bike->fork_joint), 0.0, 1e-9);
    EXPECT_TRUE(dBodyGetFiniteRotationMode(bike->front_wheel_body));
    EXPECT_TRUE(dBodyGetFiniteRotationMode(bike->rear_wheel_body));

    // Masses: centred, and their sum is the bike's total.
    const double expected[BIKE_BODY_COUNT] = {
        3.65375 + 4.6875 * 2 / 3, 0.15625 + 0.40625, 0.3125 + 0.46875, 0.739688, 0.739688,
        2 * 0.504375, 4.6875 / 3};
    dBodyID bodies[BIKE_BODY_COUNT] = {bike->frame_body, bike->front_wheel_body,
                                       bike->rear_wheel_body, bike->fork_upper_body,
                                       bike->fork_lower_body, bike->swingarm_body,
                                       bike->rider_body};
    double total = 0;
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        dMass mass;
        dBodyGetMass(bodies[i], &mass);
        EXPECT_NEAR(mass.mass, expected[i], 1e-5) << i;
        EXPECT_NEAR(mass.c[0] * mass.c[0] + mass.c[1] * mass.c[1] + mass.c[2] * mass.c[2], 0, 1e-20);
        total += expected[i];
    }
    EXPECT_NEAR(bike->total_mass, total, 1e-4);
    // A wheel is a hub and a ring: its inertia about the axle is the largest,
    // and the same about any axis across it.
    dMass wheel;
    dBodyGetMass(bike->front_wheel_body, &wheel);
    EXPECT_GT(wheel.I[0], wheel.I[5]);
    EXPECT_NEAR(wheel.I[5], wheel.I[10], 1e-6);

    // The contacts, timing arrays and default setup.
    EXPECT_EQ(bike->front_contact.body, bike->front_wheel_body);
    EXPECT_EQ(bike->rear_contact.body, bike->rear_wheel_body);
    EXPECT_EQ(bike->rear_contact.rim_radius, 0.75f);
    EXPECT_EQ(bike->front_contact.axle[0], 1.0f);
    EXPECT_EQ(bike->gate_times.element_size, 4);
    EXPECT_EQ(bike->gate_times.capacity, 16);
    EXPECT_EQ(bike->own_line.element_size, LINE_POINT_SIZE);
    EXPECT_EQ(bike->lap_buffers[1].capacity, 16);
    EXPECT_EQ(bike->final_drive, 4.0f);
    EXPECT_EQ(bike->bike_options, 0x8d);

    free_bike(bike);
    EXPECT_EQ(live_body_count(), 0);
    EXPECT_EQ(live_joint_count(), 0);
    EXPECT_EQ(bike->frame_body, nullptr);
    EXPECT_EQ(bike->rider_joint, nullptr);
    EXPECT_EQ(bike->gate_times.data, nullptr);
    free_bike(bike);   // a second free does nothing
    free_bike(&bike_states[100]);   // nor does freeing a slot that never had a bike
}

TEST_F(BikeWorld, EverySlotTakesABikeAndGivesEverythingBack)
{
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        ASSERT_NE(create_bike(bike_models[slot % BIKE_MODEL_COUNT].name, slot, slot % 2, "1",
                              nullptr, nullptr, nullptr, nullptr),
                  nullptr);
    EXPECT_EQ(live_body_count(), 7 * BIKE_SLOT_COUNT);
    EXPECT_EQ(live_joint_count(), 6 * BIKE_SLOT_COUNT);
    EXPECT_EQ(bike_states[81].model_index, 1);
    EXPECT_EQ(bike_states[81].bike_flags & BIKE_FLAG_SIMULATED, BIKE_FLAG_SIMULATED);
    EXPECT_EQ(bike_states[80].bike_flags & BIKE_FLAG_SIMULATED, 0);
    // Creating over a bike that is still there frees it first.
    create_bike("kx125", 7, 1, "7", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(live_body_count(), 7 * BIKE_SLOT_COUNT);
    for (BikeState &bike : bike_states)
        free_bike(&bike);
    EXPECT_EQ(live_body_count(), 0);
    EXPECT_EQ(live_joint_count(), 0);
}

TEST_F(BikeWorld, SlotsOutsideTheTableAreRefused)
{
    static BikeState before[BIKE_SLOT_COUNT];
    memcpy(before, bike_states, sizeof before);
    const int slots[] = {BIKE_SLOT_COUNT, -1, 1000000};
    for (int slot : slots)
        EXPECT_EQ(create_bike("cr125", slot, 1, "1", nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(memcmp(before, bike_states, sizeof before), 0);
    EXPECT_EQ(live_body_count(), 0);
    EXPECT_EQ(get_slot_bike(-1), nullptr);
    EXPECT_EQ(get_slot_bike(BIKE_SLOT_COUNT), nullptr);
}

TEST_F(BikeWorld, SlotsNameTheirBikesWhileTheyExist)
{
    BikeState *bike = create_bike("cr125", 5, 1, "5", nullptr, nullptr, nullptr, nullptr);
    create_bike("cr125", 6, 1, "6", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(bike_slots[5], bike);
    EXPECT_EQ(get_slot_bike(5), bike);
    EXPECT_EQ(get_slot_bike(6), &bike_states[6]);
    EXPECT_EQ(get_slot_bike(4), nullptr);
    free_bike(&bike_states[0]);   // a record that never had a bike leaves the slots alone
    EXPECT_EQ(get_slot_bike(5), bike);
    free_bike(bike);
    EXPECT_EQ(get_slot_bike(5), nullptr);
    EXPECT_EQ(get_slot_bike(6), &bike_states[6]);
    EXPECT_EQ(create_bike("cr125", BIKE_SLOT_COUNT, 1, "1", nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(get_slot_bike(BIKE_SLOT_COUNT - 1), nullptr);

    // Clearing the records takes every bike apart and empties every slot.
    create_bike("kx125", 159, 0, "9", nullptr, nullptr, nullptr, nullptr);
    clear_bike_states();
    EXPECT_EQ(live_body_count(), 0);
    EXPECT_EQ(live_joint_count(), 0);
    EXPECT_EQ(get_slot_bike(6), nullptr);
    EXPECT_EQ(get_slot_bike(159), nullptr);
    EXPECT_EQ(bike_states[6].frame_body, nullptr);
    EXPECT_EQ(bike_states[6].gate_times.data, nullptr);
}

// Handles left in a record after the world is gone would point into freed
// memory on the next free or create of that slot.
TEST_F(BikeWorld, DestroyingTheWorldTakesItsBikesAlong)
{
    create_bike("cr125", 2, 1, "2", nullptr, nullptr, nullptr, nullptr);
    destroy_physics_world();
    EXPECT_EQ(bike_states[2].frame_body, nullptr);
    EXPECT_EQ(bike_states[2].rider_joint, nullptr);
    EXPECT_EQ(get_slot_bike(2), nullptr);
    ASSERT_TRUE(create_physics_world());
    BikeState *bike = create_bike("cr125", 2, 1, "2", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bike, nullptr);
    EXPECT_EQ(live_body_count(), 7);
    EXPECT_EQ(live_joint_count(), 6);
}

TEST(BikeCreate, NoPhysicsWorldNoBike)
{
    EXPECT_EQ(create_bike("cr125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(BikeWorld, UnknownModelsFallBackAndNumbersAreCut)
{
    BikeState *bike = create_bike("cr500", 0, 0, "123456789", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bike, nullptr);
    EXPECT_STREQ(get_bike_model_name(bike), "crf250(2007)");
    EXPECT_STREQ(get_bike_model_class(bike), "250f");
    EXPECT_NE(message_lines().find("bike info for 'cr500' not found using 'crf250(2007)' instead"),
              std::string::npos);
    EXPECT_STREQ(get_rider_number_text(bike), "1234567");
    bike = create_bike("kx125", 1, 0, "", nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(get_rider_number_text(bike), "");
    bike = create_bike("cr125", 2, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(get_rider_number_text(bike), "");
}

TEST(BikeCreate, NumberPlateColoursFromTheInfoText)
{
    struct Case {
        const char *info;
        uint8_t background[3], foreground[3];
    } cases[] = {
        {nullptr, {255, 255, 255}, {0, 0, 0}},
        {"[numberbackground:1.5,-2,0.5]", {255, 0, 127}, {0, 0, 0}},
        {"x [numberforeground:0.2,0.4,1] y [numberbackground:0,0,0]", {0, 0, 0}, {51, 102, 255}},
        {"[numberbackground:0.5,0.5]", {255, 255, 255}, {0, 0, 0}},   // too few numbers
        {"[numberforeground: 1, 1, 1]", {255, 255, 255}, {255, 255, 255}},
        {"[numberforeground:1;1;1]", {255, 255, 255}, {0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.info ? c.info : "none");
        uint8_t background[3] = {255, 255, 255}, foreground[3] = {0, 0, 0};
        read_number_plate_colours(c.info, background, foreground);
        EXPECT_EQ(memcmp(background, c.background, 3), 0);
        EXPECT_EQ(memcmp(foreground, c.foreground, 3), 0);
    }
}

TEST(BikeCreate, SkinVariantNames)
{
    struct Case {
        const char *mesh, *skin, *extension, *expected;
    } cases[] = {
        {"@cr125_frame.jm", "cr125-red-2.png", ".jm", "@cr125_frame-red.jm"},
        {"@cr125_frame.jm", "@skins/cr125-blue-1.png", ".jm", "@cr125_frame-blue.jm"},
        {"@parts/frame-old.jm", "a-b-c", ".jm", "@parts/frame-b.jm"},
        {"@cr125-red-2.png", "@cr125-red-2.png", ".foo", "@cr125-red.foo"},
        {"@cr125_frame.jm", "cr125.png", ".jm", nullptr},        // no '-'
        {"@cr125_frame.jm", "cr125-red.png", ".jm", nullptr},    // one '-'
        {"@my-skins/frame", "x-y-z", ".jm", nullptr},            // no '-' or '.' after the '/'
        {"@dir.v/frame", "x-y-z", ".jm", nullptr},               // the '.' is in a folder
        {"@cr125_frame.jm", "@my-skins/cr125.png", ".jm", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.mesh << " " << c.skin);
        char *name = model_name_for_skin(c.mesh, c.skin, c.extension);
        if (c.expected)
            EXPECT_STREQ(name, c.expected);
        else
            EXPECT_EQ(name, nullptr);
        checked_free(name);
    }
}

TEST(BikeCreate, PartModelsTryTheSkinVariantThenTheSkinFolder)
{
    use_known_names({"@plain.jm", "@frame-red.jm", "@skins/frame-blue.jm"});
    struct Case {
        const char *mesh, *skin;
        int warn;
        const char *loaded;    // null: none
        const char *message;   // null: none
    } cases[] = {
        {"@plain.jm", nullptr, 1, "@plain.jm", nullptr},
        {"@plain.jm", "rider.png", 1, "@plain.jm", nullptr},
        {"@missing.jm", nullptr, 1, nullptr, "Warning: Can't load @missing.jm"},
        {"@missing.jm", nullptr, 0, nullptr, nullptr},
        {"@frame.jm", "bike-red-1.png", 1, "@frame-red.jm", nullptr},
        {"@frame.jm", "@skins/bike-blue-1.png", 1, "@skins/frame-blue.jm", nullptr},
        {"@frame.jm", "@skins/bike-green-1.png", 1, nullptr,
         "Warning: Can't load @frame-green.jm or @skins/frame-green.jm"},
        {"@frame.jm", "bike-green-1.png", 1, nullptr, "Warning: Can't load @frame-green.jm"},
        {"@frame.jm", "bike-green-1.png", 0, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.mesh << " " << (c.skin ? c.skin : "-"));
        int before = message_log.next_line;
        Model *model = load_part_model(c.mesh, c.skin, c.warn);
        if (c.loaded) {
            ASSERT_NE(model, nullptr);
            EXPECT_STREQ(get_model_name(model), c.loaded);
        } else {
            EXPECT_EQ(model, nullptr);
        }
        if (c.message) {
            ASSERT_EQ(message_log.next_line, before + 1);
            EXPECT_STREQ(message_log.lines[before], c.message);
        } else {
            EXPECT_EQ(message_log.next_line, before);
        }
    }
}

TEST_F(BikeWorld, SkinsFallBackGroupByGroupToTheModels)
{
    use_known_names({
        "@cr125-red-2.png", "@cr125_frame-red.jm", "@cr125_side_plates-red.jm",
        "@cr125_fork_upper-red.jm", "@cr125_front_plate-red.jm", "@cr125_fork_lower-red.jm",
        "@cr125_swingarm-red.jm",
        "@wheels.png", "@front_wheel.jm", "@rear_wheel.jm",
        "@rider_body.png", "@rider_body.jm", "@rider_head.png", "@rider_head.jm",
        "@rider_body-fast-1.png",   // a rider skin without its meshes
    });
    BikeState *bike = create_bike("cr125", 0, 1, "5", "@rider_body-fast-1.png", nullptr,
                                  "@cr125-red-2.png", "@nowhere.png");
    ASSERT_NE(bike, nullptr);
    // The bike skin and its variant meshes.
    EXPECT_STREQ(get_bike_texture_name(bike), "@cr125-red-2.png");
    EXPECT_STREQ(get_model_name(bike->frame_model), "@cr125_frame-red.jm");
    EXPECT_STREQ(get_model_name(bike->swingarm_model), "@cr125_swingarm-red.jm");
    // The wheel skin does not load: the model's wheels.
    EXPECT_STREQ(get_wheel_texture_name(bike), "@wheels.png");
    EXPECT_STREQ(get_model_name(bike->front_wheel_model), "@front_wheel.jm");
    // The rider skin loads but its mesh does not: the whole group falls back.
    EXPECT_STREQ(get_rider_texture_name(bike), "@rider_body.png");
    EXPECT_STREQ(get_model_name(bike->rider_body_model), "@rider_body.jm");
    EXPECT_EQ(bike->rider_body_fp_model, nullptr);
    EXPECT_EQ(bike->rider_plate_model, nullptr);
    // No helmet skin named: the model's.
    EXPECT_STREQ(get_head_texture_name(bike), "@rider_head.png");
    EXPECT_STREQ(get_model_name(bike->helmet_model), "@rider_head.jm");
    // Normal mapping off: no maps looked up.
    EXPECT_EQ(bike->bike_normal_map, 0);
    EXPECT_EQ(bike->bike_specular_map, 0);
    // No shape files exist: every shape is null, and the bike is built anyway.
    EXPECT_EQ(bike->frame_shape, nullptr);
    EXPECT_EQ(live_body_count(), 7);
}

TEST_F(BikeWorld, ASkinWithoutADashLoadsTheModelsOwnMeshes)
{
    use_known_names({"@plainskin.png", "@cr125_frame.jm", "@cr125_fork_upper.jm"});
    BikeState *bike = create_bike("cr125", 0, 1, "5", nullptr, nullptr, "@plainskin.png", nullptr);
    EXPECT_STREQ(get_bike_texture_name(bike), "@plainskin.png");
    EXPECT_STREQ(get_model_name(bike->frame_model), "@cr125_frame.jm");
    EXPECT_STREQ(get_model_name(bike->fork_upper_model), "@cr125_fork_upper.jm");
}

TEST_F(BikeWorld, NormalAndSpecularMapsAreFoundByName)
{
    normal_mapping_enabled = 1;
    use_known_names({"@cr125-red-2.png", "@cr125-red_norm.png", "@cr125-red-2_spec.ppm",
                     "@wheels_norm.seq"});
    int normal = -1, specular = -1;
    find_normal_spec_maps(&normal, &specular, "@cr125-red-2.png", "@cr125.png");
    EXPECT_STREQ(get_texture_name(normal), "@cr125-red_norm.png");
    EXPECT_STREQ(get_texture_name(specular), "@cr125-red-2_spec.ppm");
    find_normal_spec_maps(&normal, &specular, "@wheels.png", "@wheels.png");
    EXPECT_STREQ(get_texture_name(normal), "@wheels_norm.seq");
    EXPECT_EQ(specular, 0);
    normal_mapping_enabled = 0;
    find_normal_spec_maps(&normal, &specular, "@cr125-red-2.png", "@cr125.png");
    EXPECT_EQ(normal, 0);
    EXPECT_EQ(specular, 0);
}

TEST_F(BikeWorld, FreeingCountsOutOnlyAPlateThatExists)
{
    BikeState *bike = create_bike("cr125", 0, 1, "5", nullptr, nullptr, nullptr, nullptr);
    texture_memory_used = 100000;
    EXPECT_EQ(bike->number_plate_texture, 0) << "no renderer, no plate";
    free_bike(bike);
    EXPECT_EQ(texture_memory_used, 100000);
    bike = create_bike("cr125", 0, 1, "5", nullptr, nullptr, nullptr, nullptr);
    bike->number_plate_texture = 42;
    free_bike(bike);
    EXPECT_EQ(texture_memory_used, 100000 - 87381);
    EXPECT_EQ(bike->number_plate_texture, 0);
    free_bike(bike);
    EXPECT_EQ(texture_memory_used, 100000 - 87381);
}

TEST_F(BikeWorld, PrivateShapeCopies)
{
    write_file(test_data_dir() + "generic_frame.shp", "1\n0 0 0 0.5 1 2 3\n");
    BikeState *a = create_bike("cr125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    BikeState *b = create_bike("cr125", 1, 1, "2", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(a->frame_shape, nullptr);
    ASSERT_NE(b->frame_shape, nullptr);
    EXPECT_NE(a->frame_shape, b->frame_shape);
    EXPECT_EQ(a->frame_shape->source, b->frame_shape->source);
    EXPECT_EQ(a->frame_shape->sphere_count, 1);
    EXPECT_EQ(a->rider_shape, nullptr);
    free_bike(a);
    EXPECT_EQ(a->frame_shape, nullptr);
    free_shape_cache();
}

TEST_F(BikeWorld, RiderMassDistribution)
{
    BikeState *bike = create_bike("kx450f(2018)", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    float total = bike->total_mass;
    struct Case {
        float ratio, rider_share;
    } cases[] = {{0.4f, 0.4f}, {0.1f, 0.33f}, {0.9f, 0.5f}};
    for (const Case &c : cases) {
        set_rider_mass_distribution(bike, c.ratio);
        dMass frame, rider;
        dBodyGetMass(bike->frame_body, &frame);
        dBodyGetMass(bike->rider_body, &rider);
        EXPECT_NEAR(rider.mass, c.rider_share * 5.46875, 1e-5) << c.ratio;
        EXPECT_NEAR(frame.mass, 4.735 + (1 - c.rider_share) * 5.46875, 1e-5) << c.ratio;
    }
    set_rider_mass_distribution(bike, std::nanf(""));
    dMass rider;
    dBodyGetMass(bike->rider_body, &rider);
    EXPECT_NEAR(rider.mass, 0.5 * 5.46875, 1e-5);
    EXPECT_EQ(bike->total_mass, total);
}

TEST_F(BikeWorld, Getters)
{
    BikeState *bike = create_bike("yz250f(2017)", 0, 1, "99", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(get_bike_body(bike), bike->frame_body);
    EXPECT_EQ(get_rider_body(bike), bike->rider_body);
    EXPECT_EQ(get_rider_texture_name(bike), nullptr) << "no texture loaded";
    EXPECT_EQ(get_bike_texture_name(bike), nullptr);
    set_gear(bike, 2);
    set_throttle(bike, 0.25f);
    set_clutch(bike, 0.5f);
    EXPECT_EQ(get_gear(bike), 2);
    EXPECT_EQ(get_throttle(bike), 0.25f);
    EXPECT_EQ(get_clutch(bike), 0.5f);
    struct Case {
        int down, finished, expected;
    } cases[] = {{0, 0, 0}, {1, 0, 1}, {2, 0, 1}, {1, 1, 0}, {0, 1, 0}};
    for (const Case &c : cases) {
        bike->down = c.down;
        bike->finished = c.finished;
        EXPECT_EQ(is_rider_down(bike), c.expected) << c.down << " " << c.finished;
    }
}
