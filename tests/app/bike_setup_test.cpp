// The bike setup: the stability preset, setup keys with old bike names,
// applying the setup to a real bike (damping factors, the mechanic's
// refusal while it moves), the change notice, setup files and their names.
#include "app/bike_setup.h"
#include "app/key_value_file.h"
#include "app/shell.h"
#include "bike/bike_fixture.h"
#include "bike/bike_getters.h"
#include "core/message.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

BikeSetup &s = bike_setup;

const char *last_message(void)
{
    return message_log.lines[(message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES];
}

int messages_holding(const char *part)
{
    int count = 0;
    for (const auto &line : message_log.lines)
        if (strstr(line, part))
            count++;
    return count;
}

}  // namespace

TEST(BikeSetup, StabilityDerivesItsSliders)
{
    struct {
        int stability;
        Slider *slider;
        double value;
    } cases[] = {
        {0, &s.roll_limit_angle, 90},      {0, &s.land_damping_falloff, 0},
        {0, &s.restricted_lock, 45},       {50, &s.roll_limit_factor, 21},
        {50, &s.restricted_lock, 7.5},     {50, &s.slow_damping_factor, 1.75},
        {100, &s.direct_steering, 0.125},  {100, &s.roll_damping, 80},
        {100, &s.restricted_lock, 1},      {99, &s.direct_steering, 1 - 0.875 * 0.95},
        {-40, &s.roll_limit_angle, 90},    {250, &s.restricted_lock, 1},
    };
    for (const auto &c : cases) {
        default_bike_setup(c.stability);
        EXPECT_NEAR(c.slider->value, c.value, 1e-12) << c.stability << " " << c.slider->label;
    }
}

TEST(BikeSetup, SetupKeysTakeTheirValuesAndOldBikeNames)
{
    struct {
        const char *key, *value;
        int result;
        const char *bike;
    } bikes[] = {
        {"bike", "yz250f", LINE_TAKEN, "yz250f(2008)"},
        {"bike", "crf250", LINE_TAKEN, "crf250(2008)"},
        {"bike", "cr125", LINE_TAKEN, "cr125"},
        {"bike", "yz999", LINE_REFUSED, "cr125"},
        {"bike", "", LINE_REFUSED, "cr125"},
    };
    for (const auto &c : bikes) {
        EXPECT_EQ(parse_setup_key(c.key, c.value), c.result) << c.value;
        EXPECT_STREQ(selected_choice(&s.bike), c.bike) << c.value;
    }

    // "stability" sets the derived sliders; their own lines after it win.
    EXPECT_EQ(parse_setup_key("stability", "0"), LINE_TAKEN);
    EXPECT_EQ(parse_setup_key("roll_limit_angle", "30"), LINE_TAKEN);
    EXPECT_EQ(s.roll_limit_angle.value, 30);
    EXPECT_EQ(s.land_damping_falloff.value, 0);
    EXPECT_EQ(parse_setup_key("stability", "nan"), LINE_REFUSED);
    EXPECT_EQ(s.roll_limit_angle.value, 30);

    EXPECT_EQ(parse_setup_key("number", "12345"), LINE_TAKEN);
    EXPECT_STREQ(s.number.text, "123");
    EXPECT_EQ(parse_setup_key("stop_wheelies", "Front Only"), LINE_TAKEN);
    EXPECT_EQ(parse_setup_key("stop_wheelies", "front only"), LINE_REFUSED);
    EXPECT_EQ(parse_setup_key("bike_texture", "red"), LINE_TAKEN);
    EXPECT_STREQ(s.bike_graphics.wanted, "red");
    EXPECT_EQ(parse_setup_key("xres", "800"), LINE_UNKNOWN_KEY);
}

struct SetupOnBike : BikeWorld {
    BikeState *bike = nullptr;

    void SetUp() override
    {
        BikeWorld::SetUp();
        bike = create_bike("yz250f(2017)", 0, 1, "7", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr);
    }
};

TEST_F(SetupOnBike, DampingSlidersGiveTheirFactors)
{
    const BikeModel *model = find_bike_model("yz250f(2017)");
    struct {
        double slider;
        float fast, slow;
    } cases[] = {{0, 0.25f, -1.0f}, {50, 1.0f, 0.0f}, {100, 4.0f, 1.0f}};
    for (const auto &c : cases) {
        s.fork_compression.value = s.fork_rebound.value = s.shock_compression.value = c.slider;
        s.fork_slow_compression.value = s.shock_slow_rebound.value = c.slider;
        apply_bike_setup(bike);
        EXPECT_FLOAT_EQ(bike->fork_hs_compression, c.fast * model->fork_damping[0]) << c.slider;
        EXPECT_FLOAT_EQ(bike->fork_hs_rebound, c.fast * model->fork_damping[2]) << c.slider;
        EXPECT_FLOAT_EQ(bike->shock_hs_compression, c.fast * model->shock_damping[0]) << c.slider;
        EXPECT_FLOAT_EQ(bike->fork_ls_compression, c.slow * model->fork_damping[1]) << c.slider;
        EXPECT_FLOAT_EQ(bike->shock_ls_rebound, c.slow * model->shock_damping[3]) << c.slider;
    }
    // Degrees become radians, miles per hour feet per second, and the
    // options their modes.
    s.roll_limit_angle.value = 90;
    s.max_dab_speed.value = 30;
    s.stop_wheelies.selected = 2;
    s.arcade.selected = 1;
    apply_bike_setup(bike);
    EXPECT_FLOAT_EQ(bike->roll_limit_angle, (float)(M_PI / 2));
    EXPECT_FLOAT_EQ(bike->max_dab_speed, 44.0f);
    EXPECT_EQ(bike->bike_options & OPTION_STOP_WHEELIES, 2 << 1);
    EXPECT_EQ(bike->arcade_physics, 1);
}

TEST_F(SetupOnBike, AMovingBikeKeepsItsSetupAndTheMechanicComplainsOnce)
{
    s.leveling.value = 20;
    apply_bike_setup(bike);
    dBodySetLinearVel(get_bike_body(bike), 0.2, 0, 0);
    s.leveling.value = 90;
    struct {
        double time;
        int messages;   // mechanic lines shown so far
    } attempts[] = {{0, 0}, {5, 1}, {30, 1}, {31, 2}};
    for (const auto &a : attempts) {
        current_time = a.time;
        apply_bike_setup(bike);
        EXPECT_EQ(messages_holding("Mechanic can't keep up"), a.messages) << a.time;
        EXPECT_FLOAT_EQ(bike->leveling, 20.0f) << a.time;
    }
    EXPECT_STREQ(last_message(), "Settings not applied.  Mechanic can't keep up error.");
    EXPECT_EQ(s.leveling.value, 90);   // the slider keeps the value

    dBodySetLinearVel(get_bike_body(bike), 0.1, 0, 0);
    apply_bike_setup(bike);
    EXPECT_FLOAT_EQ(bike->leveling, 90.0f);
}

TEST_F(SetupOnBike, TheChangeNoticeNamesEachChangedValueByLetter)
{
    reset_bike_setup_changes();
    char text[128];
    EXPECT_EQ(take_setup_change_notice(text, sizeof text), 0);
    s.leveling.value += 1;
    s.rider_mass_distribution.value = 0.4;
    s.fork_compression.value = 10;
    apply_bike_setup(bike);
    ASSERT_EQ(take_setup_change_notice(text, sizeof text), 1);
    std::string letters(BIKE_SETUP_TABLE_ROWS, '-');
    letters[0] = 'l';
    letters[21] = 'C';
    letters[38] = 'm';
    EXPECT_EQ(std::string(text), "[SPAM] Setup change " + letters + "\n");
    EXPECT_EQ(take_setup_change_notice(text, sizeof text), 0);   // announced once
}

TEST(BikeSetup, SetupNamesStayInsideTheSetupsFolder)
{
    struct {
        std::string name;
        std::string path;   // empty: refused
    } cases[] = {
        {"", ""},
        {"a/b", ""},
        {"a\\b", ""},
        {".hidden", ""},
        {"..", ""},
        {"tab\tname", ""},
        {"del\x7f", ""},
        {std::string(64, 'n'), ""},
        {"race day", "@setups/race day"},
        {"v1.2", "@setups/v1.2"},
        {std::string(63, 'n'), "@setups/" + std::string(63, 'n')},
    };
    for (auto &c : cases) {
        char path[128] = "";
        EXPECT_EQ(build_setup_path(c.name.c_str(), path, sizeof path), !c.path.empty()) << c.name;
        if (!c.path.empty()) {
            EXPECT_EQ(std::string(path), c.path);
        }
    }
    EXPECT_EQ(write_setup_file("../escape"), 0);
    EXPECT_EQ(read_setup_file("../escape"), 0);
}

TEST(BikeSetup, SetupFilesRoundTrip)
{
    parse_setup_key("bike", "kx450f(2018)");
    set_text_field_text(&s.name, "Test Rider");
    s.shock_preload.value = 12;
    s.sticky_dab.selected = 1;
    ASSERT_EQ(write_setup_file("mine"), 1);
    std::string text;
    ASSERT_TRUE(read_file(test_home_dir() + "setups/mine", &text));
    EXPECT_NE(text.find("bike=kx450f(2018)\nname=Test Rider\nnumber=999\n"), std::string::npos);
    EXPECT_NE(text.find("shock_preload_adjustment=12.000000\n"), std::string::npos);

    parse_setup_key("bike", "cr125");
    set_text_field_text(&s.name, "Someone");
    s.shock_preload.value = 50;
    s.sticky_dab.selected = 0;
    ASSERT_EQ(read_setup_file("mine"), 1);
    EXPECT_STREQ(selected_choice(&s.bike), "kx450f(2018)");
    EXPECT_STREQ(s.name.text, "Test Rider");
    EXPECT_EQ(s.shock_preload.value, 12);
    EXPECT_EQ(s.sticky_dab.selected, 1);
    EXPECT_EQ(read_setup_file("missing"), 0);
}
