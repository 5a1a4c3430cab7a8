// Tyre ruts: when a tyre digs, how samples gather into points, when records
// are sent (idle, full, spread too far), the telemetry and its text, the
// per-tic tyre step with its 3-D text, and contact values that must not dig.
#include "bike/tyre_ruts.h"

#include "bike/contact_readout.h"
#include "net/client.h"
#include "race/race_state.h"
#include "render/text_marker.h"
#include "tests/bike/bike_fixture.h"
#include "track/erosion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

// Flat default ground and a free wheel 1 ft over its contact point, rolling
// along -z without slip unless told otherwise.
struct TyreRuts : BikeWorld {
    dBodyID wheel = nullptr;
    WheelContact contact{};
    ErosionRecord record{};
    ErosionValues *erosion = nullptr;

    void SetUp() override
    {
        BikeWorld::SetUp();
        roost_defaults(&ground.terrain.tiles[0]);
        erosion = &ground.terrain.tiles[0].erosion;
        erosion->limit_count = 1;
        erosion->limit_value2[0] = erosion->limit_value3[0] = 1.0f;
        wheel = create_counted_body();
        contact.body = wheel;
        contact.depth = 0.01f;
        contact.contact_normal[1] = 1.0f;
        clear_erosion_record(&record);
        reset_erosion_queue();
        clear_text_markers();
        contact_log_flags = 0;
        contact_log_spacing = 10.0f;
        current_tic = 100;
        place(100, 100);
        move(20, -20);
    }

    void TearDown() override
    {
        destroy_counted_body(wheel);
        BikeWorld::TearDown();
    }

    void place(float x, float z)
    {
        dBodySetPosition(wheel, x, 1, z);
        contact.contact_point[0] = x;
        contact.contact_point[1] = 0;
        contact.contact_point[2] = z;
    }

    // Speed along -z and spin about the axle (-speed rolls without slip).
    void move(double speed, double spin)
    {
        dBodySetLinearVel(wheel, 0, 0, -speed);
        dBodySetAngularVel(wheel, spin, 0, 0);
    }

    void force(double fx, double fy, double fz)
    {
        contact.feedback.f1[0] = fx;
        contact.feedback.f1[1] = fy;
        contact.feedback.f1[2] = fz;
    }

    // One tic of a digging rear tyre at (x, z).
    void dig_at(float x, float z, double fz = -100)
    {
        place(x, z);
        force(0, 300, fz);
        wheel_ground_contact(&record, &contact, 0);
        current_tic++;
    }

    void in_air()
    {
        contact.depth = 0.0f;
        wheel_ground_contact(&record, &contact, 0);
        contact.depth = 0.01f;
    }

    std::string telemetry_text()
    {
        char text[1024];
        contact_debug_text(text, sizeof text);
        return text;
    }
};

TEST_F(TyreRuts, DigsOnlyAboveBothThresholds)
{
    // The dig force must pass erode_lower (strictly) and 1/1024 in square.
    struct Case {
        float lower;
        double fz;
        bool digs;
    } cases[] = {
        {50.0f, -50.0, false}, {50.0f, -50.001, true}, {50.0f, 50.0, false},
        {0.0f, -0.03, false},  {0.0f, -0.032, true},  {0.0f, 0.0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.lower << " " << c.fz);
        clear_erosion_record(&record);
        erosion->erode_lower = c.lower;
        dig_at(100, 100, c.fz);
        EXPECT_EQ(record.samples, c.digs ? 1 : 0);
        EXPECT_NEAR(tyre_telemetry[3], -c.fz, 1e-4);   // the force shows either way
    }
}

TEST_F(TyreRuts, SamplesGatherIntoPointsAFootApartOrSixteenAtMost)
{
    // Slow: 0.01 ft a tic closes a point every 16 samples.
    for (int i = 0; i < 16; i++)
        dig_at(100, 100 - 0.01f * i);
    EXPECT_EQ(record.samples, 16);
    EXPECT_EQ(record.point_count, 0);
    dig_at(100, 100 - 0.16f);
    ASSERT_EQ(record.point_count, 1);
    EXPECT_EQ(record.points[0].flags, 16);
    EXPECT_NEAR(record.points[0].z, 100 - 0.075f, 1e-4);   // the mean of the 16
    EXPECT_FLOAT_EQ(record.points[0].x, 100.0f);
    // Force 100 between 50 and 150: direction (0, -1) at 0.125 + 0.875 / 2.
    EXPECT_NEAR(record.points[0].direction_z, -0.5625f, 1e-6);
    EXPECT_EQ(record.samples, 1);
    EXPECT_EQ(record.travelled, 0.0f);
    EXPECT_EQ(record.last_close_tic, current_tic - 1);

    // Fast: 0.3 ft a tic closes after 4 samples and carries the 0.2 ft over.
    clear_erosion_record(&record);
    for (int i = 0; i < 4; i++)
        dig_at(200 + 0.3f * i, 100);
    EXPECT_EQ(record.samples, 4);
    dig_at(201.2f, 100);
    ASSERT_EQ(record.point_count, 1);
    EXPECT_EQ(record.points[0].flags, 4);
    EXPECT_NEAR(record.points[0].x, 200.45f, 1e-4);
    EXPECT_NEAR(record.travelled, 0.2f, 1e-4);
    EXPECT_EQ(record.samples, 1);
}

TEST_F(TyreRuts, RecordInTheAirOverSixtyFourTicsIsSentOnce)
{
    for (int i = 0; i < 10; i++)
        dig_at(100 + 1.5f * i, 100);
    ASSERT_EQ(record.point_count, 9);
    int closed = record.last_close_tic;
    for (current_tic = closed + 1; current_tic <= closed + 64; current_tic++)
        in_air();
    EXPECT_EQ(erosion_queue.count, 0);
    EXPECT_EQ(record.point_count, 9);
    in_air();   // 65 tics
    ASSERT_EQ(erosion_queue.count, 10);   // the point being gathered went too
    EXPECT_EQ(record.point_count, 0);
    EXPECT_EQ(record.samples, 0);
    for (int i = 0; i < 10; i++)
        EXPECT_NEAR(erosion_queue.entries[i].x, 100 + 1.5f * i, 0.01f) << i;
    for (current_tic++; current_tic < closed + 400; current_tic++)
        in_air();
    EXPECT_EQ(erosion_queue.count, 10);
}

TEST_F(TyreRuts, SixtyFourPointsGoInOneFullMessage)
{
    // Every tic after the first closes a point 1.5 ft on.
    for (int i = 0; i < 65; i++)
        dig_at(100 + 1.5f * i, 100);
    ASSERT_EQ(record.point_count, 64);
    uint8_t message[EROSION_MESSAGE_MAX];
    EXPECT_EQ(encode_erosion_record(message, &record), 269);
    EXPECT_EQ(erosion_queue.count, 0);
    dig_at(100 + 1.5f * 65, 100);   // closes the 65th point
    ASSERT_EQ(erosion_queue.count, 64);
    EXPECT_NEAR(erosion_queue.entries[0].x, 100.0f, 0.01f);
    EXPECT_NEAR(erosion_queue.entries[63].x, 100 + 1.5f * 63, 0.05f);
    ASSERT_EQ(record.point_count, 1);
    EXPECT_NEAR(record.points[0].x, 100 + 1.5f * 64, 1e-4);
    dig_at(100 + 1.5f * 66, 100);
    ASSERT_EQ(record.point_count, 2);
    EXPECT_NEAR(record.step_bounds[0], 1.5f, 1e-4);   // bounds start again from this step
    EXPECT_NEAR(record.step_bounds[2], 1.5f, 1e-4);
}

TEST_F(TyreRuts, AJumpOfOverSixtyFourFeetSendsAndStartsAgain)
{
    for (int i = 0; i < 10; i++)
        dig_at(100 + 1.5f * i, 100);
    dig_at(213.5f, 100);   // closes the tenth point before the jump
    EXPECT_EQ(record.point_count, 10);
    EXPECT_EQ(erosion_queue.count, 0);
    dig_at(213.8f, 100);
    EXPECT_EQ(record.samples, 2);
    dig_at(215.0f, 100);   // closes the first point past the jump: 100 ft from the last
    ASSERT_EQ(erosion_queue.count, 10);
    EXPECT_NEAR(erosion_queue.entries[9].x, 113.5f, 0.01f);
    ASSERT_EQ(record.point_count, 1);
    EXPECT_NEAR(record.points[0].x, 213.65f, 1e-4);
    EXPECT_EQ(record.points[0].flags, 2);
    EXPECT_EQ(record.samples, 1);
    // The new record's point carries 1.2 - 1 ft: the 0.3 ft gathered
    // before the restart went with the old record.
    EXPECT_NEAR(record.travelled, 0.2f, 1e-4);
    EXPECT_EQ(record.last_sample_x, 215.0f);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(record.step_bounds[i], 0.0f);
    dig_at(216.5f, 100);
    EXPECT_EQ(record.point_count, 2);
    EXPECT_EQ(erosion_queue.count, 10);
}

// A restart closed by the sixteenth sample after a short step: the new
// point starts with the old record's travel counted as nothing, so it
// carries the step less a foot and gathers more than a foot.
TEST_F(TyreRuts, ARestartAfterAShortStepCarriesLessThanNothing)
{
    for (int i = 0; i < 10; i++)
        dig_at(100 + 1.5f * i, 100);
    dig_at(213.5f, 100);   // closes the tenth point before the jump
    for (int k = 1; k < 16; k++)
        dig_at(213.5f + 0.01f * (float)k, 100);
    ASSERT_EQ(record.samples, 16);
    ASSERT_EQ(erosion_queue.count, 0);
    dig_at(213.66f, 100);   // the sixteenth sample closes the point: 100 ft from the last
    ASSERT_EQ(erosion_queue.count, 10);
    ASSERT_EQ(record.point_count, 1);
    EXPECT_EQ(record.points[0].flags, 16);
    EXPECT_EQ(record.samples, 1);
    EXPECT_NEAR(record.travelled, 0.01f - 1.0f, 1e-4);
    // 1.5 ft on the point has gathered 0.51 ft: it stays open.
    dig_at(215.16f, 100);
    EXPECT_EQ(record.point_count, 1);
    EXPECT_EQ(record.samples, 2);
    EXPECT_NEAR(record.travelled, 0.51f, 1e-4);
    dig_at(216.66f, 100);
    EXPECT_EQ(record.point_count, 2);
}

TEST_F(TyreRuts, TelemetryAndItsText)
{
    // Moving along -z: side is +x. Force 30 to the side and 60 forward
    // (against the motion: the text shows the force on the ground).
    struct Case {
        const char *name;
        void (*set)(ErosionValues *, TyreRuts *);
        int front;
        const char *text;
    } cases[] = {
        {"defaults", [](ErosionValues *, TyreRuts *) {}, 0,
         "speed=20.00\nslip=0.00\nfx=-30.00\nfz=-60.00\npfx=-30.00\npfz=-60.00\n"},
        {"lateral scale", [](ErosionValues *e, TyreRuts *) { e->erode_lateral_scale = 2.0f; }, 0,
         "speed=20.00\nslip=0.00\nfx=-30.00\nfz=-60.00\npfx=-60.00\npfz=-60.00\n"},
        {"front scale on the front", [](ErosionValues *e, TyreRuts *) { e->erode_front_scale = 0.5f; }, 1,
         "speed=20.00\nslip=0.00\nfx=-30.00\nfz=-60.00\npfx=-15.00\npfz=-30.00\n"},
        {"front scale on the rear", [](ErosionValues *e, TyreRuts *) { e->erode_front_scale = 0.5f; }, 0,
         "speed=20.00\nslip=0.00\nfx=-30.00\nfz=-60.00\npfx=-30.00\npfz=-60.00\n"},
        {"skidding: full slip scale", [](ErosionValues *, TyreRuts *t) { t->move(20, 0); }, 0,
         "speed=20.00\nslip=20.00\nfx=-30.00\nfz=-60.00\npfx=-45.00\npfz=-90.00\n"},
        {"slip band without width", [](ErosionValues *e, TyreRuts *) { e->erode_slip_lower = e->erode_slip_upper = 2; },
         0, "speed=20.00\nslip=0.00\nfx=-30.00\nfz=-60.00\npfx=-45.00\npfz=-90.00\n"},
        {"speed band without width, at it", [](ErosionValues *e, TyreRuts *) { e->erode_off_speed = e->erode_on_speed = 20; },
         0, "speed=20.00\nslip=0.00\nfx=-30.00\nfz=-60.00\npfx=-30.00\npfz=-60.00\n"},
        {"too slow to dig",
         [](ErosionValues *e, TyreRuts *) {
             e->erode_off_speed = 25;
             e->erode_on_speed = 30;
         },
         0,
         "speed=20.00\nslip=0.00\nfx=-30.00\nfz=-60.00\npfx=0.00\npfz=0.00\n"},
        {"no horizontal speed", [](ErosionValues *, TyreRuts *t) { dBodySetLinearVel(t->wheel, 0, -3, 0); }, 0,
         "speed=0.00\nslip=0.00\nfx=0.00\nfz=0.00\npfx=0.00\npfz=0.00\n"},
    };
    ErosionValues defaults = *erosion;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        *erosion = defaults;
        move(20, -20);
        c.set(erosion, this);
        force(30, 400, -60);
        wheel_ground_contact(&record, &contact, c.front);
        EXPECT_EQ(telemetry_text(), c.text);
    }
    // Cut to the room given, always terminated.
    char text[16];
    memset(text, 'x', sizeof text);
    contact_debug_text(text, 12);
    EXPECT_STREQ(text, "speed=0.00\n");
    contact_debug_text(text, 1);
    EXPECT_STREQ(text, "");
    text[0] = 'x';
    contact_debug_text(text, 0);
    EXPECT_EQ(text[0], 'x');
}

TEST_F(TyreRuts, ContactValuesThatMustNotDig)
{
    // A record with points, then a tic of each bad contact: no sample is
    // taken and nothing is sent.
    for (int i = 0; i < 3; i++)
        dig_at(100 + 1.5f * i, 100, -500);
    ASSERT_EQ(record.point_count, 2);
    ErosionRecord before = record;
    struct Case {
        const char *name;
        void (*spoil)(TyreRuts *);
    } cases[] = {
        {"still wheel", [](TyreRuts *t) { t->move(0, 0); }},
        {"only vertical speed", [](TyreRuts *t) { dBodySetLinearVel(t->wheel, 0, -8, 0); }},
        {"force not a number", [](TyreRuts *t) { t->force(NAN, 0, -500); }},
        {"force infinite", [](TyreRuts *t) { t->force(0, 0, -INFINITY); }},
        {"point not a number", [](TyreRuts *t) { t->contact.contact_point[0] = NAN; }},
        {"height not a number", [](TyreRuts *t) { t->contact.contact_point[1] = NAN; }},
        {"depth not a number", [](TyreRuts *t) { t->contact.depth = NAN; }},
        {"no body", [](TyreRuts *t) { t->contact.body = nullptr; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        record = before;
        contact.depth = 0.01f;
        place(104.5f, 100);
        move(20, -20);
        force(0, 300, -500);
        c.spoil(this);
        wheel_ground_contact(&record, &contact, 0);
        EXPECT_EQ(record.samples, before.samples);
        EXPECT_EQ(record.point_count, 2);
        EXPECT_EQ(erosion_queue.count, 0);
        contact.body = wheel;
    }
    // Without a terrain nothing is dug either.
    record = before;
    current_terrain = nullptr;
    place(104.5f, 100);
    move(20, -20);
    force(0, 300, -500);
    wheel_ground_contact(&record, &contact, 0);
    EXPECT_EQ(record.samples, before.samples);
    current_terrain = &ground.terrain;
}

TEST_F(TyreRuts, TyreStepRecordsBothWheelsAndShowsTheirTelemetry)
{
    BikeState *bike = create_bike("cr125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bike, nullptr);
    struct {
        WheelContact *contact;
        dBodyID body;
        double speed;
    } wheels[] = {{&bike->front_contact, bike->front_wheel_body, 20}, {&bike->rear_contact, bike->rear_wheel_body, 30}};
    for (auto &w : wheels) {
        const dReal *p = dBodyGetPosition(w.body);
        float drop = w.contact->rim_radius + w.contact->tyre_radius;
        w.contact->depth = 0.01f;
        w.contact->contact_point[0] = (float)p[0];
        w.contact->contact_point[1] = (float)p[1] - drop;
        w.contact->contact_point[2] = (float)p[2];
        w.contact->contact_normal[1] = 1.0f;
        w.contact->feedback.f1[1] = 300;
        w.contact->feedback.f1[2] = -100;
        dBodySetLinearVel(w.body, 0, 0, -w.speed);
        dBodySetAngularVel(w.body, -w.speed / drop, 0, 0);
    }
    // Telemetry off: both ruts recorded, no text.
    step_tire_ground_contact(bike);
    EXPECT_EQ(bike->ruts[0].samples, 1);
    EXPECT_EQ(bike->ruts[1].samples, 1);
    EXPECT_EQ(get_last_text_marker(), nullptr);

    // On: one marker at the frame with the front's values, then the rear's.
    contact_log_flags = 1;
    const dReal *frame = dBodyGetPosition(bike->frame_body);
    add_text_marker((float)frame[0] + 3, (float)frame[1], (float)frame[2], "other");
    step_tire_ground_contact(bike);   // within 10 ft of the last marker
    EXPECT_STREQ(get_last_text_marker(), "other");
    EXPECT_EQ(bike->ruts[0].samples, 2);
    contact_log_spacing = 2.0f;
    step_tire_ground_contact(bike);
    ASSERT_NE(get_last_text_marker(), nullptr);
    std::string text = get_last_text_marker();
    EXPECT_EQ(text.rfind("front:\nspeed=20.00\nslip=0.00\nfx=0.00\nfz=-100.00\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nrear:\nspeed=30.00\n"), std::string::npos) << text;
    EXPECT_NEAR(get_text_marker_distance((float)frame[0], (float)frame[1], (float)frame[2]), 0.0f, 1e-4);
}
