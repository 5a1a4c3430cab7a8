// The generated engine sounds through the game's own loader and synthesis,
// per class: steady engine speeds at loads 0 and 1 peak in a band at a
// game's level and never reach the bytes 0 or 255, at any speed up to well
// past the class's top speed, nor while the speed sweeps up and down with
// the throttle snapping open and shut.
#include "gamedata_fixture.h"

#include "bike/bike_models.h"
#include "bike/bike_state.h"
#include "render/engine_sound.h"
#include "render/sound_table.h"
#include "tools/datagen/gen_sounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

namespace {

constexpr int FRAME = ENGINE_RATE / 30;   // samples the voice plays between frames

// Distances of a byte from the centre (127) at full throttle on a row's
// engine speed: clear of the limits, the loudest row of a class at a game's
// level; and load 0 a share of load 1 on the same row.
constexpr int FULL_LOAD_PEAK_MIN = 40, FULL_LOAD_PEAK_MAX = 120, LOUDEST_ROW_MIN = 85;
constexpr double NO_LOAD_SHARE_MIN = 0.2, NO_LOAD_SHARE_MAX = 0.45;

struct ClassEngine : testing::Test {
    std::unique_ptr<BikeState> bike;
    EngineSound *sound = &engine_sounds[0];
    float top_rpm = 0.0f;   // the class's highest

    void SetUp() override
    {
        ASSERT_FALSE(gamedata_dir().empty()) << "RUTLINE_GAMEDATA is not set";
        use_game_data(gamedata_dir() + "/data");
    }
    void TearDown() override
    {
        free_engine_sound(sound);
        free_sound_tables();
    }

    // The class default of the generated data, as a bike of the class loads it.
    void load_class(const char *engine_class)
    {
        bike.reset(new BikeState);
        memset(bike.get(), 0, sizeof *bike);
        bike->model_index = -1;
        top_rpm = 0.0f;
        for (int i = 0; i < BIKE_MODEL_COUNT; i++)
            if (!strcmp(bike_models[i].class_name, engine_class)) {
                if (bike->model_index < 0)
                    bike->model_index = i;
                top_rpm = std::fmax(top_rpm, bike_models[i].top_rpm);
            }
        ASSERT_GE(bike->model_index, 0) << engine_class;
        load_engine_sound(sound, bike.get(), nullptr);
        ASSERT_NE(sound->definition.table, nullptr);
        ASSERT_EQ(std::string(sound->definition.table->name),
                  std::string("@sounds/engine") + engine_class + ".table");
    }

    float torque_at(float load) const
    {
        const EngineDefinition &d = sound->definition;
        return d.low_torque + load * (d.high_torque - d.low_torque);
    }

    // Frames of synthesis with the speed and load each frame asks for; the
    // smallest and largest byte handed on from the first sample at `from`.
    void synthesize(int frames, int from, const std::function<void(int, float *, float *)> &at, int *low,
                    int *high)
    {
        *low = 255;
        *high = 0;
        int position = 0, done = 0;
        for (int f = 0; f < frames; f++) {
            float rpm, load;
            at(f, &rpm, &load);
            int count = synthesize_engine_samples(sound, rpm, torque_at(load), position);
            position = (position + FRAME) & (ENGINE_RING - 1);
            for (int k = count; k > 0; k--, done++) {
                if (done < from)
                    continue;
                int byte = engine_sample_byte(sound->ring[(sound->write_position - k) & (ENGINE_RING - 1)]);
                *low = std::min(*low, byte);
                *high = std::max(*high, byte);
            }
        }
    }

    // A steady speed and load from a fresh start: the bytes past the first
    // quarter second, over half a second.
    int steady_peak(float rpm, float load, int *low, int *high)
    {
        load_engine_sound(sound, bike.get(), nullptr);
        synthesize(23, ENGINE_RATE / 4, [&](int, float *r, float *l) { *r = rpm, *l = load; }, low, high);
        return std::max(*high - 127, 127 - *low);
    }
};

}  // namespace

TEST_F(ClassEngine, EachRowPeaksInItsBandAtBothLoadsAndNeverClips)
{
    for (const char *engine_class : ENGINE_CLASSES) {
        SCOPED_TRACE(engine_class);
        load_class(engine_class);
        if (HasFatalFailure())
            return;
        const SoundTable *table = sound->definition.table;
        int loudest = 0;
        for (int row = 0; row < table->rows; row++) {
            float rpm = table->cells[row * table->columns].rpm;
            SCOPED_TRACE(rpm);
            int low, high;
            int full = steady_peak(rpm, 1.0f, &low, &high);
            EXPECT_GE(full, FULL_LOAD_PEAK_MIN);
            EXPECT_LE(full, FULL_LOAD_PEAK_MAX);
            EXPECT_GT(low, 0);
            EXPECT_LT(high, 255);
            loudest = std::max(loudest, full);
            int none = steady_peak(rpm, 0.0f, &low, &high);
            EXPECT_GE(none, NO_LOAD_SHARE_MIN * full);
            EXPECT_LE(none, NO_LOAD_SHARE_MAX * full);
        }
        EXPECT_GE(loudest, LOUDEST_ROW_MIN);
    }
}

// Every 250 rpm from the minimum to 2,500 past the class's highest top
// speed (where the robots rev it at the gate), at loads 0, 1/2 and 1.
TEST_F(ClassEngine, NoSteadySpeedOrLoadClips)
{
    for (const char *engine_class : ENGINE_CLASSES) {
        SCOPED_TRACE(engine_class);
        load_class(engine_class);
        if (HasFatalFailure())
            return;
        for (float rpm = sound->definition.min_rpm; rpm <= top_rpm + 2500.0f; rpm += 250.0f)
            for (float load : {0.0f, 0.5f, 1.0f}) {
                int low, high;
                steady_peak(rpm, load, &low, &high);
                EXPECT_GT(low, 0) << rpm << " rpm, load " << load;
                EXPECT_LT(high, 255) << rpm << " rpm, load " << load;
            }
    }
}

// The speed runs from the minimum to past the top and back in two seconds
// each way while the throttle opens and shuts every quarter second.
TEST_F(ClassEngine, SweepingSpeedAndSnappingThrottleNeverClip)
{
    for (const char *engine_class : ENGINE_CLASSES) {
        SCOPED_TRACE(engine_class);
        load_class(engine_class);
        if (HasFatalFailure())
            return;
        float bottom = sound->definition.min_rpm, top = top_rpm + 2500.0f;
        const int way = 60;   // frames: two seconds
        int low, high;
        synthesize(2 * way, 0,
                   [&](int f, float *rpm, float *load) {
                       float t = f < way ? (float)f / way : (float)(2 * way - f) / way;
                       *rpm = bottom + t * (top - bottom);
                       *load = (f / 8) % 2 ? 0.0f : 1.0f;
                   },
                   &low, &high);
        EXPECT_GT(low, 0);
        EXPECT_LT(high, 255);
        EXPECT_GT(high - low, 2 * FULL_LOAD_PEAK_MIN) << "the sweep was heard";
    }
}
