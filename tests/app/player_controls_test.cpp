// The player's controls on a real bike: keys and axes through the control
// table into the bike's setters, as a table of held inputs over tics.
#include "app/player_controls.h"

#include "app/bike_setup.h"
#include "app/bindings.h"
#include "bike/bike_getters.h"
#include "platform/event_ring.h"
#include "platform/input.h"
#include "tests/bike/bike_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

int axis_reading;
int read_fake_axis(InputDevice *, int)
{
    return axis_reading;
}

int key_of(int binding)
{
    return EVENT_KEY_BASE + 1 + binding;
}

const unsigned LEFT = 1u << BINDING_LEFT, RIGHT = 1u << BINDING_RIGHT, DAB = 1u << BINDING_DAB,
               CLUTCH = 1u << BINDING_CLUTCH, UP = 1u << BINDING_UPSHIFT, DOWN = 1u << BINDING_DOWNSHIFT,
               LEAN_BACK = 1u << BINDING_LEAN_BACKWARD, LEAN_FORWARD = 1u << BINDING_LEAN_FORWARD;

struct Step {
    int tics;
    unsigned held;      // keys down during these tics
    int reading;        // the throttle axis
};

void bind_key(int b)
{
    riding_bindings[b].key_code = key_of(b);
    riding_bindings[b].axis = nullptr;
    riding_bindings[b].range_start = 0.0f;
    riding_bindings[b].range_end = 1.0f;
}

struct ControlsOnABike : BikeWorld {
    InputDevice device = {};
    AxisBinding throttle_axis = {};
    KeyBinding saved_bindings[RIDING_BINDING_COUNT];
    BikeSetup saved_setup = bike_setup;

    void SetUp() override
    {
        BikeWorld::SetUp();
        device.read_axis = read_fake_axis;
        register_live_device(&device);
        throttle_axis = {&device, 0, device.serial};
        for (int b = 0; b < RIDING_BINDING_COUNT; b++) {
            saved_bindings[b] = riding_bindings[b];
            bind_key(b);
        }
    }
    void TearDown() override
    {
        forget_live_device(&device);
        for (int b = 0; b < RIDING_BINDING_COUNT; b++)
            riding_bindings[b] = saved_bindings[b];
        bike_setup = saved_setup;
        BikeWorld::TearDown();
    }
};

}  // namespace

TEST_F(ControlsOnABike, InputTable)
{
    const float ANY = NAN;
    struct Case {
        const char *name;
        int reversed;
        int sticky;
        int throttle_on_axis;
        float range_start, range_end;
        std::vector<Step> steps;
        float steer, lean, throttle, dab, clutch;
        int gear_change;
    } cases[] = {
        {"left and right together", 1, 0, 0, 0, 1, {{5, LEFT | RIGHT, 0}}, 0, ANY, ANY, ANY, ANY, 0},
        {"left, reversed steering", 1, 0, 0, 0, 1, {{5, LEFT, 0}}, -1, ANY, ANY, ANY, ANY, 0},
        {"left, plain steering", 0, 0, 0, 0, 1, {{5, LEFT, 0}}, 1, ANY, ANY, ANY, ANY, 0},
        {"right released", 0, 0, 0, 0, 1, {{5, RIGHT, 0}, {1, 0, 0}}, 0, ANY, ANY, ANY, ANY, 0},
        {"lean forward", 1, 0, 0, 0, 1, {{3, LEAN_FORWARD, 0}}, ANY, -1, ANY, ANY, ANY, 0},
        {"both leans", 1, 0, 0, 0, 1, {{3, LEAN_FORWARD | LEAN_BACK, 0}}, ANY, 0, ANY, ANY, ANY, 0},
        // Axes: the reading's place within the binding's range.
        {"axis half way", 1, 0, 1, -1, 1, {{1, 0, 0}}, ANY, ANY, 0.5f, ANY, ANY, 0},
        {"axis inverted at its end", 1, 0, 1, 1, -1, {{1, 0, -32768}}, ANY, ANY, 1, ANY, ANY, 0},
        {"axis inverted at rest", 1, 0, 1, 1, -1, {{1, 0, 32768}}, ANY, ANY, 0, ANY, ANY, 0},
        {"axis past its range", 1, 0, 1, 0, 0.5f, {{1, 0, 32768}}, ANY, ANY, 1, ANY, ANY, 0},
        {"axis with equal ends", 1, 0, 1, 0.25f, 0.25f, {{1, 0, 32768}}, ANY, ANY, 0, ANY, ANY, 0},
        {"axis with a range not finite", 1, 0, 1, 0, INFINITY, {{1, 0, 32768}}, ANY, ANY, 0, ANY, ANY, 0},
        // Dab: plain follows the key; sticky flips once per press.
        {"dab held, plain", 1, 0, 0, 0, 1, {{40, DAB, 0}}, ANY, ANY, ANY, 1, ANY, 0},
        {"dab released, plain", 1, 0, 0, 0, 1, {{40, DAB, 0}, {1, 0, 0}}, ANY, ANY, ANY, 0, ANY, 0},
        {"dab held, sticky", 1, 1, 0, 0, 1, {{40, DAB, 0}}, ANY, ANY, ANY, 1, ANY, 0},
        {"dab released, sticky", 1, 1, 0, 0, 1, {{40, DAB, 0}, {10, 0, 0}}, ANY, ANY, ANY, 1, ANY, 0},
        {"dab pressed again, sticky", 1, 1, 0, 0, 1, {{40, DAB, 0}, {10, 0, 0}, {5, DAB, 0}}, ANY, ANY,
         ANY, 0, ANY, 0},
        // Clutch: pulled in at once, out over 32 tics.
        {"clutch pulled", 1, 0, 0, 0, 1, {{1, CLUTCH, 0}}, ANY, ANY, ANY, ANY, 0, 0},
        {"clutch let out for 31 tics", 1, 0, 0, 0, 1, {{1, CLUTCH, 0}, {31, 0, 0}}, ANY, ANY, ANY, ANY,
         31.0f / 32, 0},
        {"clutch let out for 32 tics", 1, 0, 0, 0, 1, {{1, CLUTCH, 0}, {32, 0, 0}}, ANY, ANY, ANY, ANY, 1,
         0},
        // Shifting: once per press.
        {"upshift held", 1, 0, 0, 0, 1, {{20, UP, 0}}, ANY, ANY, ANY, ANY, ANY, 1},
        {"upshift twice", 1, 0, 0, 0, 1, {{5, UP, 0}, {5, 0, 0}, {5, UP, 0}}, ANY, ANY, ANY, ANY, ANY, 2},
        {"upshift and downshift together", 1, 0, 0, 0, 1, {{20, UP | DOWN, 0}}, ANY, ANY, ANY, ANY, ANY, 0},
        {"downshift after upshift", 1, 0, 0, 0, 1, {{5, UP, 0}, {5, DOWN, 0}}, ANY, ANY, ANY, ANY, ANY, 0},
    };

    int slot = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BikeState *bike = create_bike("yz250f(2017)", slot++, 1, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr);
        bike_setup.reverse_steering.selected = c.reversed;
        bike_setup.sticky_dab.selected = c.sticky;
        sticky_dab_state = 0;
        last_dab_input = 0;
        clear_control_values();
        bind_key(BINDING_THROTTLE);
        if (c.throttle_on_axis) {
            KeyBinding *throttle = &riding_bindings[BINDING_THROTTLE];
            throttle->key_code = -1;
            throttle->axis = &throttle_axis;
            throttle->range_start = c.range_start;
            throttle->range_end = c.range_end;
        }
        int start_gear = get_gear(bike);

        unsigned held = 0;
        for (const Step &step : c.steps) {
            for (int b = 0; b < RIDING_BINDING_COUNT; b++)
                if (((held ^ step.held) >> b) & 1)
                    control_key_event(key_of(b), (step.held >> b) & 1);
            held = step.held;
            axis_reading = step.reading;
            for (int tic = 0; tic < step.tics; tic++) {
                read_control_axes();
                RiderControls controls;
                sum_controls(&controls);
                apply_player_controls(bike, &controls);
            }
        }
        auto expect = [](const char *what, float actual, float wanted) {
            if (!std::isnan(wanted)) {
                EXPECT_NEAR(actual, wanted, 1e-5f) << what;
            }
        };
        expect("steer", bike->steer, c.steer);
        expect("lean", bike->lean, c.lean);
        expect("throttle", bike->throttle, c.throttle);
        expect("dab", bike->dab, c.dab);
        expect("clutch", get_clutch(bike), c.clutch);
        EXPECT_EQ(get_gear(bike) - start_gear, c.gear_change);
    }
}

TEST_F(ControlsOnABike, KeysOfOtherCodesAndClearedRowsLeaveNothingPressed)
{
    control_key_event(key_of(BINDING_THROTTLE), 1);
    control_key_event(EVENT_KEY_BASE + 200, 1);   // bound to nothing
    RiderControls controls;
    sum_controls(&controls);
    EXPECT_EQ(controls.throttle, 1.0f);
    EXPECT_EQ(controls.steer + controls.front_brake + controls.shift + controls.lean, 0.0f);
    clear_control_values();
    sum_controls(&controls);
    EXPECT_EQ(controls.throttle, 0.0f);
    // A binding whose key was not found (-1) takes no event.
    riding_bindings[BINDING_LEFT].key_code = -1;
    control_key_event(-1, 1);
    sum_controls(&controls);
    EXPECT_EQ(controls.steer, 0.0f);
}
