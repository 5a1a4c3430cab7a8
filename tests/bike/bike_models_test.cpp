// The bike model table: lookups, the fallback, the rows the game relies on
// and the coherence of the values filled in for every class.
#include "bike/bike_models.h"

#include "core/message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

static std::string last_message()
{
    int line = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
    return message_log.lines[line];
}

TEST(BikeModels, ExactLookupIsCaseSensitiveAndRejectsEmptyNames)
{
    ASSERT_NE(find_bike_model("cr125"), nullptr);
    EXPECT_EQ(find_bike_model("cr125"), &bike_models[0]);
    EXPECT_EQ(find_bike_model("rs50yz"), &bike_models[79]);
    EXPECT_STREQ(find_bike_model("yz250f_se(2006)")->name, "yz250f_se(2006)");
    EXPECT_EQ(find_bike_model("CR125"), nullptr);
    EXPECT_EQ(find_bike_model(""), nullptr);
    EXPECT_EQ(find_bike_model(nullptr), nullptr);
    EXPECT_EQ(find_bike_model("cr125 "), nullptr);
}

TEST(BikeModels, UnknownNamesFallBackWithAMessage)
{
    struct Case {
        const char *name;
        const char *chosen;
    } cases[] = {
        {"kx125(1999)", "cr125"},
        {"x125", "cr125"},
        {"KX450F(2018)", "crf250(2007)"},
        {"yz250f", "crf250(2007)"},
        {"", "crf250(2007)"},
        {"a name much longer than twenty characters", "crf250(2007)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int index = find_bike_model_or_fallback(c.name);
        ASSERT_GE(index, 0);
        EXPECT_STREQ(bike_models[index].name, c.chosen);
        char expected[128];
        snprintf(expected, sizeof expected, "bike info for '%.20s' not found using '%s' instead",
                 c.name, c.chosen);
        EXPECT_EQ(last_message(), expected);
    }
    int before = message_log.next_line;
    EXPECT_STREQ(bike_models[find_bike_model_or_fallback("kx450f(2018)")].name, "kx450f(2018)");
    EXPECT_EQ(message_log.next_line, before) << "an exact match prints nothing";
}

TEST(BikeModels, GivenRowsHoldTheirValues)
{
    struct Row {
        const char *name;
        float frame_mass, fork_mass, fork_spring[2], shock_spring[2], primary, front, rear;
        float gears[6], engine[3], shift_down, shift_up, top, rider_mass;
    } rows[] = {
        {"cr125", 3.65375f, 0.739688f, {322.545f, 860.12f}, {1814.32f, 4502.19f}, 3.15f, 13, 52,
         {2.35714f, 1.86667f, 1.57895f, 1.29412f, 1.13333f, -1}, {0.00488281f, 7500, 0.75f},
         9400, 12000, 12750, 4.6875f},
        {"yz250f(2017)", 4.24f, 0.703125f, {335.984f, 873.56f}, {2217.5f, 4905.37f}, 3.35294f, 13,
         50, {2.14286f, 1.75f, 1.44444f, 1.22222f, 1.04167f, -1}, {0.00488281f, 7500, 0.75f}, 8000,
         12500, 13250, 4.6875f},
        {"kx450f(2018)", 4.735f, 0.703125f, {376.303f, 913.878f}, {2486.29f, 5174.16f}, 2.72727f,
         13, 50, {1.75f, 1.41176f, 1.1875f, 1, 0.875f, -1}, {0.0088501f, 7500, 0.75f}, 6000, 10500,
         12000, 5.46875f},
        {"rs50yz", 3.34125f, 0.739688f, {309.106f, 846.681f}, {1814.32f, 4502.19f}, 3.71429f, 12,
         55, {3.09091f, 2, 1.5f, 1.2f, 1.04545f, 0.956522f}, {0.00119358f, 1200, 1}, 9400, 12000,
         12750, 4.6875f},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        const BikeModel *m = find_bike_model(r.name);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->frame_mass, r.frame_mass);
        EXPECT_EQ(m->fork_mass, r.fork_mass);
        EXPECT_EQ(m->fork_spring_range[0], r.fork_spring[0]);
        EXPECT_EQ(m->fork_spring_range[1], r.fork_spring[1]);
        EXPECT_EQ(m->shock_spring_range[0], r.shock_spring[0]);
        EXPECT_EQ(m->shock_spring_range[1], r.shock_spring[1]);
        EXPECT_EQ(m->primary_ratio, r.primary);
        EXPECT_EQ(m->front_sprocket, r.front);
        EXPECT_EQ(m->rear_sprocket, r.rear);
        for (int g = 0; g < 6; g++)
            EXPECT_EQ(m->gear_ratios[g], r.gears[g]) << "gear " << g;
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(m->engine_constants[k], r.engine[k]);
        EXPECT_EQ(m->shift_down_rpm, r.shift_down);
        EXPECT_EQ(m->shift_up_rpm, r.shift_up);
        EXPECT_EQ(m->top_rpm, r.top);
        EXPECT_EQ(m->rider_mass, r.rider_mass);
    }
}

TEST(BikeModels, FirstModelCarriesTheGivenCurvesAndFiles)
{
    const BikeModel *m = &bike_models[0];
    const float open_start[11] = {5, 5, 5, 5, 5, 5.7f, 6.4f, 7.2f, 7.9f, 8.6f, 9.4538f};
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(m->open_throttle_torque[i], open_start[i]) << i;
    EXPECT_EQ(m->open_throttle_torque[20], 15.9664f);
    EXPECT_EQ(m->open_throttle_torque[25], 2.10085f);
    const float open_tail[6] = {0, 0, -1, -1, -2, -2};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(m->open_throttle_torque[26 + i], open_tail[i]) << 26 + i;
    EXPECT_EQ(m->open_throttle_torque[49], -11.0f);
    const float closed_start[7] = {2, 2, 1, 0, -1, -1.2f, -1.4f};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(m->closed_throttle_torque[i], closed_start[i]) << i;
    EXPECT_NEAR(m->closed_throttle_torque[49], -23.0f, 1e-4);

    const char *files[BIKE_PART_FILE_COUNT] = {
        "@cr125_frame.jm", "@generic_frame.shp", "@cr125.png", "@cr125_fork_upper.jm",
        "@generic_fork_upper.shp", "@cr125_fork_lower.jm", "@generic_fork_lower.shp",
        "@cr125_swingarm.jm", "@generic_swingarm.shp", "@front_wheel.jm", "@front_wheel.shp",
        "@rear_wheel.jm", "@rear_wheel.shp", "@wheels.png", "@rider_head.jm", "@rider_head.png",
        "@rider_body.jm", "@rider_body_fp.jm", "@generic_rider.shp", "@rider_body.png",
        "@cr125_side_plates.jm", "@cr125_front_plate.jm", "@rider_plate.jm"};
    for (int i = 0; i < BIKE_PART_FILE_COUNT; i++)
        EXPECT_STREQ(m->part_files[i], files[i]) << i;
    EXPECT_STREQ(bike_models[44].part_files[PART_FRAME_MESH], "@yz250f_se(2006)_frame.jm");
    EXPECT_STREQ(bike_models[44].part_files[PART_WHEEL_TEXTURE], "@wheels.png");
}

TEST(BikeModels, EveryEntryDrawsFromTheGivenValueSets)
{
    const std::set<float> frame_masses = {3.34125f, 3.65375f, 4.24f, 4.365625f, 4.735f};
    const std::set<float> fork_masses = {0.703125f, 0.739688f, 0.75375f};
    const std::set<float> swingarm_masses = {0.5025f, 0.504375f, 0.541875f, 0.589375f};
    const std::set<float> fork_springs = {322.545f, 335.984f, 376.303f, 309.106f};
    const std::set<float> shock_springs = {1814.32f, 2217.5f, 2486.29f};
    const std::set<float> primaries = {3.15f, 3.35294f, 2.72727f, 3.71429f};
    const std::set<std::string> classes = {"50", "125", "250", "250f", "450f"};
    const BikeModel &first = bike_models[0];
    std::set<std::string> names;
    int heavy_damping = 0;
    for (const BikeModel &m : bike_models) {
        SCOPED_TRACE(m.name);
        names.insert(m.name);
        EXPECT_TRUE(classes.count(m.class_name));
        EXPECT_TRUE(frame_masses.count(m.frame_mass));
        EXPECT_TRUE(fork_masses.count(m.fork_mass));
        EXPECT_TRUE(swingarm_masses.count(m.swingarm_half_mass));
        EXPECT_TRUE(fork_springs.count(m.fork_spring_range[0]));
        EXPECT_TRUE(shock_springs.count(m.shock_spring_range[0]));
        EXPECT_TRUE(primaries.count(m.primary_ratio));
        EXPECT_TRUE(m.rider_mass == 4.6875f || m.rider_mass == 5.46875f);
        // The shared geometry and figure.
        EXPECT_EQ(memcmp(&m.front_wheel, &first.front_wheel, sizeof m.front_wheel), 0);
        EXPECT_EQ(memcmp(&m.rear_wheel, &first.rear_wheel, sizeof m.rear_wheel), 0);
        EXPECT_EQ(memcmp(m.shock_linkage, first.shock_linkage, sizeof m.shock_linkage), 0);
        EXPECT_EQ(memcmp(m.rider_figure, first.rider_figure, sizeof m.rider_figure), 0);
        EXPECT_EQ(memcmp(m.rider_position, first.rider_position, sizeof m.rider_position), 0);
        // Damping: the 450f class and every 350 take the heavier rebound.
        bool heavy = strcmp(m.class_name, "450f") == 0 || strncmp(m.name, "350sxf", 6) == 0;
        heavy_damping += heavy;
        EXPECT_EQ(m.fork_damping[2], heavy ? 32.0f : 30.0f);
        EXPECT_EQ(m.shock_damping[2], heavy ? 650.0f : 600.0f);
        EXPECT_EQ(m.fork_damping[0], 60.0f);
        EXPECT_EQ(m.shock_damping[3], 150.0f);
        // Gear 0 always exists.
        EXPECT_GT(m.gear_ratios[0], 0.0f);
    }
    EXPECT_EQ(names.size(), (size_t)BIKE_MODEL_COUNT);
    EXPECT_EQ(heavy_damping, 30);
}

// Every engine has the same shape: full throttle peaks between the shift
// points (so automatic shifting changes up past the peak), and the curves
// end in engine braking.
TEST(BikeModels, TorqueCurvesFollowOneShape)
{
    for (const BikeModel &m : bike_models) {
        SCOPED_TRACE(m.name);
        int peak = 0;
        for (int i = 0; i < TORQUE_CURVE_POINTS; i++) {
            ASSERT_TRUE(std::isfinite(m.open_throttle_torque[i]));
            ASSERT_TRUE(std::isfinite(m.closed_throttle_torque[i]));
            EXPECT_LE(m.closed_throttle_torque[i], m.open_throttle_torque[i] + 1e-4f) << i;
            if (m.open_throttle_torque[i] > m.open_throttle_torque[peak])
                peak = i;
            if (i > 0) {
                EXPECT_LE(m.closed_throttle_torque[i], m.closed_throttle_torque[i - 1]) << i;
            }
        }
        float peak_rpm = peak * 500.0f;
        EXPECT_GE(peak_rpm, m.shift_down_rpm);
        EXPECT_LE(peak_rpm, m.shift_up_rpm);
        EXPECT_LT(m.open_throttle_torque[49], 0.0f);
        EXPECT_GT(m.open_throttle_torque[0], 0.0f);
    }
    // A 250 two-stroke pulls harder than a 125 at its peak.
    float peak_125 = 0, peak_250 = 0;
    for (float t : find_bike_model("cr125")->open_throttle_torque)
        peak_125 = std::fmax(peak_125, t);
    for (float t : find_bike_model("cr250(2007)")->open_throttle_torque)
        peak_250 = std::fmax(peak_250, t);
    EXPECT_GT(peak_250, 1.5f * peak_125);
}

TEST(BikeModels, GearCountsFollowTheRatios)
{
    EXPECT_EQ(find_bike_model("cr125")->gear_ratios[5], -1.0f);
    EXPECT_GT(find_bike_model("rs50yz")->gear_ratios[5], 0.0f);
    EXPECT_EQ(get_bike_model(-1), nullptr);
    EXPECT_EQ(get_bike_model(BIKE_MODEL_COUNT), nullptr);
    EXPECT_EQ(get_bike_model(79), &bike_models[79]);
    EXPECT_FLOAT_EQ(get_swingarm_travel(&bike_models[0]), 0.530304f);
}

// Points of a pair mirror each other across the bike's middle.
TEST(BikeModels, RiderFigurePairsAreMirrored)
{
    const float *f = bike_models[0].rider_figure;
    const int pairs[][2] = {{FIGURE_LEFT_SHOULDER, FIGURE_RIGHT_SHOULDER},
                            {FIGURE_LEFT_HIP, FIGURE_RIGHT_HIP},
                            {FIGURE_LEFT_HAND, FIGURE_RIGHT_HAND},
                            {FIGURE_LEFT_FOOT, FIGURE_RIGHT_FOOT}};
    for (auto &p : pairs) {
        EXPECT_LT(f[p[0]], 0.0f);
        EXPECT_EQ(f[p[0]], -f[p[1]]);
        EXPECT_EQ(f[p[0] + 1], f[p[1] + 1]);
        EXPECT_EQ(f[p[0] + 2], f[p[1] + 2]);
    }
    for (int bone = 0; bone + 1 < BONE_TORSO; bone += 2) {
        const float *l = f + FIGURE_BONE_CENTRES + 3 * bone;
        EXPECT_EQ(l[0], -l[3]);
        EXPECT_EQ(l[1], l[4]);
    }
    EXPECT_EQ(FIGURE_BONE_CENTRES + 3 * RIDER_BONE_COUNT, RIDER_FIGURE_FLOATS);
}
