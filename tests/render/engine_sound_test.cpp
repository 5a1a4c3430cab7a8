// Engine sounds: built-in definitions per class, the ".braap" file chain and
// lines, pipe taps, sound table files, and the synthesis on the readback
// driver (frame sizes, lead, firing rate, cell weights, hostile input).
#include "render/engine_sound.h"

#include "app/shell.h"
#include "bike/bike_models.h"
#include "bike/bike_state.h"
#include "core/message.h"
#include "platform/audio.h"
#include "platform/mixer.h"
#include "render/sound_table.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A bike record with only its model set: enough for the class and skin getters.
std::unique_ptr<BikeState> bike_of_class(const char *engine_class)
{
    std::unique_ptr<BikeState> bike(new BikeState);
    memset(bike.get(), 0, sizeof *bike);
    bike->model_index = -1;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        if (!strcmp(bike_models[i].class_name, engine_class)) {
            bike->model_index = i;
            break;
        }
    EXPECT_GE(bike->model_index, 0) << engine_class;
    return bike;
}

std::string recording(const std::vector<int16_t> &samples)
{
    std::string bytes;
    for (int16_t s : samples) {
        bytes += (char)(s & 0xff);
        bytes += (char)((s >> 8) & 0xff);
    }
    return bytes;
}

std::string messages()
{
    std::string text;
    for (int i = 0; i < message_log.next_line; i++)
        text += std::string(message_log.lines[i]) + "|";
    return text;
}

void clear_messages()
{
    memset(&message_log, 0, sizeof message_log);
}

EngineDefinition silent_definition()
{
    EngineDefinition definition = *four_stroke_definition();
    build_pipe_taps(&definition, 1.0f, 1.0f, 0.0f, 0, 15);
    return definition;
}

// Synthesises frames of `step` samples each, the play position moving on
// by step every frame.
void run_frames(EngineSound *sound, int frames, int step, float rpm, float torque, int *position)
{
    for (int f = 0; f < frames; f++) {
        synthesize_engine_samples(sound, rpm, torque, *position);
        *position = (*position + step) & (ENGINE_RING - 1);
    }
}

// Loads a slot's engine sound with no audio open, then applies lines.
EngineSound *engine_with_lines(const std::vector<const char *> &lines, int slot = 0)
{
    EngineSound *sound = &engine_sounds[slot];
    load_engine_sound(sound, nullptr, nullptr);
    for (const char *line : lines)
        read_engine_sound_line(&sound->definition, line);
    return sound;
}

}  // namespace

TEST(EngineSound, BuiltInDefinitionsFollowTheClass)
{
    struct Case {
        const char *engine_class;   // null: no bike
        float firings, low, high;
        const char *table;
    } cases[] = {
        {"50", 1.0f, -3.5f, 1.5f, "default_two_stroke"},
        {"125", 1.0f, -3.5f, 3.5f, "default_two_stroke"},
        {"250", 1.0f, -3.5f, 3.5f, "default_two_stroke"},
        {"250f", 0.5f, -2.5f, 2.5f, "default_four_stroke"},
        {"450f", 0.5f, -2.5f, 2.5f, "default_four_stroke"},
        {nullptr, 0.5f, -2.5f, 2.5f, "default_four_stroke"},
    };
    for (const Case &c : cases) {
        std::unique_ptr<BikeState> bike = c.engine_class ? bike_of_class(c.engine_class) : nullptr;
        EngineSound *sound = &engine_sounds[3];
        load_engine_sound(sound, bike.get(), nullptr);
        const EngineDefinition &d = sound->definition;
        const char *label = c.engine_class ? c.engine_class : "no bike";
        EXPECT_EQ(d.firings_per_revolution, c.firings) << label;
        EXPECT_EQ(d.low_torque, c.low) << label;
        EXPECT_EQ(d.high_torque, c.high) << label;
        EXPECT_EQ(d.min_rpm, 1000.0f) << label;
        ASSERT_NE(d.table, nullptr);
        EXPECT_STREQ(d.table->name, c.table) << label;
        EXPECT_EQ(d.bias_count, 1);
        EXPECT_EQ(d.bias[0], 0.0f);
        EXPECT_EQ(d.scale_count, 1);
        EXPECT_EQ(d.scale[0], 1.0f);
        EXPECT_EQ(sound->voice, nullptr);   // no audio open
        EXPECT_EQ(sound->level, 1.0f);
        EXPECT_EQ(sound->write_position, 11025);
        EXPECT_EQ(sound->previous_rpm, 1000.0f);
        EXPECT_EQ(sound->firing_frequency, 10.0f);
    }
    // The pipes: the four-stroke's 5 ft line and the two-stroke's 1.75 ft one.
    const EngineDefinition *four = four_stroke_definition(), *two = two_stroke_definition();
    EXPECT_EQ(four->taps[0].delay, 32381);
    EXPECT_EQ(four->taps[1].delay, 32386);
    EXPECT_EQ(four->taps[15].delay, 32452);
    EXPECT_FLOAT_EQ(four->taps[7].gain, -0.053125f);
    EXPECT_EQ(two->taps[0].delay, 32768 - 135);
    EXPECT_FLOAT_EQ(two->taps[0].gain, -0.75f / 16);

    // The tables: one row, loads 0 and 1, the quiet cell a quarter of the loud one.
    for (const SoundTable *table : {four->table, two->table}) {
        ASSERT_EQ(table->rows, 1);
        ASSERT_EQ(table->columns, 2);
        EXPECT_EQ(table->cells[0].load, 0.0f);
        EXPECT_EQ(table->cells[1].load, 1.0f);
        for (int c = 0; c < 2; c++) {
            EXPECT_EQ(table->cells[c].sample_count, 1024);
            EXPECT_EQ(table->cells[c].period_count, 1);
            EXPECT_EQ(table->cells[c].firing_map, nullptr);
        }
        for (int k = 0; k < 1024; k += 97)
            EXPECT_FLOAT_EQ(table->cells[0].samples[k], 0.25f * table->cells[1].samples[k]);
    }
    for (int k : {0, 100, 255, 256, 700, 1023}) {
        double t = k / 1023.0, burst = t < 0.25 ? 1 - 4 * t : 0;
        EXPECT_NEAR(four->table->cells[1].samples[k],
                    0.5 * (fabs(sin(3 * M_PI * t + 0.5246)) - 0.5) + sin(16 * M_PI * t) * burst, 1e-6);
        EXPECT_NEAR(two->table->cells[1].samples[k], sin(8 * M_PI * t) * burst, 1e-6);
    }
}

TEST(EngineSound, FileChainCutsTheSkinNameThenTakesTheClassDefault)
{
    const char *defaults[][2] = {{"default50.braap", "501"},   {"default125.braap", "1251"},
                                 {"default250.braap", "2501"}, {"default250f.braap", "2502"},
                                 {"default450f.braap", "4502"}};
    for (auto &d : defaults)
        write_file(test_data_dir() + d[0], std::string("minrpm ") + d[1] + "\n");
    struct Case {
        std::vector<std::pair<const char *, const char *>> files;   // name, minrpm
        const char *name;
        const char *engine_class;
        float min_rpm;
    } cases[] = {
        {{{"a/yz-blue.braap", "111"}, {"a/yz.braap", "112"}}, "@a/yz-blue.png", "250f", 111},
        {{{"b/yz.braap", "222"}}, "@b/yz-blue.png", "250f", 222},
        {{{"c/yz.braap", "333"}}, "@c/yz-blue-red.png", "250f", 333},
        {{{"d/yz-blue.braap", "444"}}, "@d/yz-blue-red.png", "450f", 444},
        {{}, "@e/yz-blue.png", "125", 1251},
        {{{"dash.braap", "555"}}, "@dash-folder/plain.png", "50", 501},   // no cut before the '/'
        {{{"dot.braap", "666"}}, "@dot.folder/yz", "250", 2501},          // no '.' in the file name
        {{{"f/only.braap", "777"}}, nullptr, "250", 2501},                // no name, no skin
    };
    for (const Case &c : cases) {
        for (auto &file : c.files)
            write_file(test_data_dir() + file.first, std::string("minrpm ") + file.second + "\n");
        std::unique_ptr<BikeState> bike = bike_of_class(c.engine_class);
        EngineSound *sound = &engine_sounds[5];
        load_engine_sound(sound, bike.get(), c.name);
        EXPECT_EQ(sound->definition.min_rpm, c.min_rpm) << (c.name ? c.name : "no name");
        // A file without a pipe line leaves every tap silent.
        for (const PipeTap &tap : sound->definition.taps)
            EXPECT_EQ(tap.gain, 0.0f);
    }
}

TEST(EngineSound, BraapLinesAndPipeTaps)
{
    EngineDefinition reference = silent_definition();
    build_pipe_taps(&reference, 4.0f, 0.9182072f, -0.85f, 0, 15);
    struct Tap {
        int index, delay;
        float gain;
    };
    const EngineDefinition silent = silent_definition();
    struct Case {
        const char *line;
        std::vector<Tap> taps;     // checked taps
        bool others_silent;        // every other tap as before the line
        bool taps_like_reference;  // all taps as the 4 ft line with the default fields
    } cases[] = {
        {"pipe 4.0", {}, false, true},
        {"pipe 4.0 # comment", {}, false, true},
        {"pipe 5.0 0.9182072 -0.85 0 15", {{0, 32381, -0.053125f}, {1, 32386, -0.053125f}, {15, 32452, -0.053125f}}, false, false},
        {"pipe 3 1 0.5 4 4", {{4, 32768 - 232, 0.5f}}, true, false},
        {"pipe 2 1 1 9 3", {{9, 32768 - 155, 1.0f}}, true, false},           // last below first
        {"pipe 2 1 1.6 -4 99", {{0, 32768 - 155, 0.1f}, {15, 32768 - 77, 0.1f}}, false, false},   // clamped to 0..15
        {"pipe 1e30", {{0, 0, -0.053125f}, {15, 0, -0.053125f}}, false, false},   // delays clamp to the ring
        // Only the upper end is clamped: 0 and below read modulo the ring.
        {"pipe 0", {{0, 0, -0.053125f}, {15, 0, -0.053125f}}, false, false},
        {"pipe -5", {{0, 387, -0.053125f}}, false, false},                    // -387 samples
        {"pipe -423.77", {{0, 0, -0.053125f}}, false, false},                 // -32768 samples
        {"pipe -423.87 1 1 0 0", {{0, 8, 1.0f}}, true, false},                // -32776 samples
        {"pipe -3e38 3e38", {}, false, false},   // delays far beyond the ring either way
        {"pipe nan", {}, true, false},
        {"pipe 2 inf", {}, true, false},
        {"pipe", {}, true, false},
        {" pipe 4", {}, true, false},   // only at the very start of a line
        {"# pipe 4", {}, true, false},
    };
    for (const Case &c : cases) {
        EngineDefinition definition = silent_definition();
        read_engine_sound_line(&definition, c.line);
        std::vector<bool> listed(PIPE_TAPS, false);
        for (const PipeTap &tap : definition.taps) {
            EXPECT_GE(tap.delay, 0) << c.line;   // every read stays in the ring
            EXPECT_LT(tap.delay, 32768) << c.line;
        }
        for (const Tap &tap : c.taps) {
            listed[tap.index] = true;
            EXPECT_EQ(definition.taps[tap.index].delay, tap.delay) << c.line << " tap " << tap.index;
            EXPECT_FLOAT_EQ(definition.taps[tap.index].gain, tap.gain) << c.line << " tap " << tap.index;
        }
        for (int k = 0; k < PIPE_TAPS; k++) {
            const PipeTap *expected = c.taps_like_reference ? &reference.taps[k]
                                      : c.others_silent && !listed[k] ? &silent.taps[k]
                                                                      : nullptr;
            if (!expected)
                continue;
            EXPECT_EQ(definition.taps[k].delay, expected->delay) << c.line << " " << k;
            EXPECT_EQ(definition.taps[k].gain, expected->gain) << c.line << " " << k;
        }
    }
    // The console's path: the same taps straight from the values.
    EngineDefinition direct = silent_definition();
    EXPECT_EQ(build_pipe_taps(&direct, 4.0f, 0.9182072f, -0.85f, 0, 15), 1);
    EXPECT_EQ(memcmp(direct.taps, reference.taps, sizeof direct.taps), 0);
    EXPECT_EQ(build_pipe_taps(&direct, NAN, 1.0f, 1.0f, 0, 15), 0);
    EXPECT_EQ(build_pipe_taps(&direct, 1.0f, INFINITY, 1.0f, 0, 15), 0);
    EXPECT_EQ(memcmp(direct.taps, reference.taps, sizeof direct.taps), 0);

    // Settings and lists.
    struct ListCase {
        const char *line;
        float min_rpm, low, high;
        std::vector<float> bias, scale;
    } lists[] = {
        {"minrpm 1500", 1500, -2.5f, 2.5f, {0}, {1}},
        {"minrpm nan", 1000, -2.5f, 2.5f, {0}, {1}},
        {"minrpm 1e39", 1000, -2.5f, 2.5f, {0}, {1}},   // not a float
        {"lowtorque -7", 1000, -7, 2.5f, {0}, {1}},
        {"hightorque 9 # more", 1000, -2.5f, 9, {0}, {1}},
        {"bias 10 -20 30", 1000, -2.5f, 2.5f, {10, -20, 30}, {1}},
        {"  bias\t5", 1000, -2.5f, 2.5f, {5}, {1}},
        {"biasx 5", 1000, -2.5f, 2.5f, {0}, {1}},
        {"bias 1 nan 2 inf 3", 1000, -2.5f, 2.5f, {1, 2, 3}, {1}},
        {"scale 1.5 0.5", 1000, -2.5f, 2.5f, {0}, {1.5f, 0.5f}},
        {"scale", 1000, -2.5f, 2.5f, {0}, {}},
    };
    for (const ListCase &c : lists) {
        EngineDefinition definition = *four_stroke_definition();
        read_engine_sound_line(&definition, c.line);
        EXPECT_EQ(definition.min_rpm, c.min_rpm) << c.line;
        EXPECT_EQ(definition.low_torque, c.low) << c.line;
        EXPECT_EQ(definition.high_torque, c.high) << c.line;
        EXPECT_EQ(std::vector<float>(definition.bias, definition.bias + definition.bias_count), c.bias)
            << c.line;
        EXPECT_EQ(std::vector<float>(definition.scale, definition.scale + definition.scale_count),
                  c.scale)
            << c.line;
    }
    std::string many = "bias";
    for (int i = 0; i < 150; i++)
        many += " " + std::to_string(i);
    EngineDefinition definition = *four_stroke_definition();
    read_engine_sound_line(&definition, many.c_str());
    EXPECT_EQ(definition.bias_count, 100);
    EXPECT_EQ(definition.bias[99], 99.0f);

    // An empty list in a file becomes {0} or {1} again.
    write_file(test_data_dir() + "lists/x.braap", "bias\nscale\n");
    load_engine_sound(&engine_sounds[7], nullptr, "@lists/x.png");
    EXPECT_EQ(engine_sounds[7].definition.bias_count, 1);
    EXPECT_EQ(engine_sounds[7].definition.bias[0], 0.0f);
    EXPECT_EQ(engine_sounds[7].definition.scale_count, 1);
    EXPECT_EQ(engine_sounds[7].definition.scale[0], 1.0f);
}

TEST(EngineSound, SoundTableFilesAndTheirErrors)
{
    write_file(test_data_dir() + "rec/a.raw", recording({0, 16384, -16384, 32767, -32768, 1, 2, 3}));
    write_file(test_data_dir() + "rec/odd.raw", recording({100, -100}) + "x");
    write_file(test_data_dir() + "rec/empty.raw", "");
    write_file(test_data_dir() + "tables/good",
               "SOUNDTABLE 2 2\n1000 8000\n0 1\n"
               "0 1 -1 2 @rec/a.raw\n-1 1 @rec/a.raw\n"
               "-1 1.9 @rec/odd.raw\n5 -4 -1 4 @rec/a.raw\n");
    clear_messages();
    const SoundTable *table = load_sound_table("@tables/good");
    ASSERT_NE(table, nullptr) << messages();
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(load_sound_table("@tables/good"), table);   // cached
    ASSERT_EQ(table->rows, 2);
    ASSERT_EQ(table->columns, 2);
    const SoundCell *cells = table->cells;
    EXPECT_EQ(cells[0].rpm, 1000.0f);
    EXPECT_EQ(cells[2].rpm, 8000.0f);
    EXPECT_EQ(cells[3].load, 1.0f);
    EXPECT_EQ(cells[0].sample_count, 8);
    EXPECT_EQ(cells[0].samples[1], 0.5f);
    EXPECT_EQ(cells[0].samples[4], -1.0f);
    EXPECT_EQ(cells[0].samples, cells[1].samples);   // one recording, read once
    EXPECT_EQ(cells[0].period_count, 2);
    ASSERT_EQ(cells[0].firing_map_length, 2);
    EXPECT_EQ(cells[0].firing_map[0], 0);
    EXPECT_EQ(cells[0].firing_map[1], 1);
    EXPECT_EQ(cells[1].firing_map, nullptr);
    EXPECT_EQ(cells[2].sample_count, 2);   // the odd byte is dropped
    EXPECT_EQ(cells[2].period_count, 1);   // 1.9 truncated
    ASSERT_EQ(cells[3].firing_map_length, 2);
    EXPECT_EQ(cells[3].firing_map[0], 1);   // 5 mod 4
    EXPECT_EQ(cells[3].firing_map[1], 0);   // -4 mod 4

    struct Case {
        const char *name;
        std::string text;
        std::string message;   // before the closing "Error reading '<name>'"
    } cases[] = {
        {"@tables/remap", "SOUNDTABLE 1 2\n0\n0 1\n-1 1 @rec/a.raw\n0 x -1 1 @rec/a.raw\n",
         "(0, 1) Bad remap entry|"},
        {"@tables/missing", "SOUNDTABLE 2 1\n0 1\n0\n-1 1 @rec/a.raw\n-1 1 @rec/none.raw\n",
         "(1, 0) Error reading '@rec/none.raw'|"},
        {"@tables/empty", "SOUNDTABLE 1 1\n0\n0\n-1 1 @rec/empty.raw\n",
         "(0, 0) Error reading '@rec/empty.raw'|"},
        {"@tables/p0", "SOUNDTABLE 1 1\n0\n0\n-1 0 @rec/a.raw\n", "(0, 0) Error reading '@rec/a.raw'|"},
        {"@tables/p9", "SOUNDTABLE 1 1\n0\n0\n-1 9 @rec/a.raw\n", "(0, 0) Error reading '@rec/a.raw'|"},
        {"@tables/pnan", "SOUNDTABLE 1 1\n0\n0\n-1 nan @rec/a.raw\n", "(0, 0) Error reading ''|"},   // no number
        {"@tables/noname", "SOUNDTABLE 1 1\n0\n0\n-1 1\n", "(0, 0) Error reading ''|"},
        {"@tables/rows0", "SOUNDTABLE 0 1\n0\n-1 1 @rec/a.raw\n", ""},
        {"@tables/rows257", "SOUNDTABLE 257 1\n", ""},
        {"@tables/columns300", "SOUNDTABLE 1 300\n", ""},
        {"@tables/header", "SOUNDTABL 1 1\n0\n0\n-1 1 @rec/a.raw\n", ""},
        {"@tables/rpmnan", "SOUNDTABLE 1 1\nnan\n0\n-1 1 @rec/a.raw\n", ""},
        {"@tables/loadinf", "SOUNDTABLE 1 1\n0\ninf\n-1 1 @rec/a.raw\n", ""},
        {"@tables/short", "SOUNDTABLE 2 2\n0 1\n0 1\n-1 1 @rec/a.raw\n", "(0, 1) Bad remap entry|"},
        {"@tables/nofile", "", ""},
    };
    for (const Case &c : cases) {
        if (!c.text.empty())
            write_file(test_data_dir() + (c.name + 1), c.text);
        clear_messages();
        EXPECT_EQ(load_sound_table(c.name), nullptr) << c.name;
        EXPECT_EQ(messages(), c.message + "Error reading '" + c.name + "'|") << c.name;
    }

    // Through a ".braap" line: a table that cannot be read leaves the one before.
    EngineSound *sound = engine_with_lines({"soundtable   @tables/good  "});
    EXPECT_EQ(sound->definition.table, table);
    clear_messages();
    read_engine_sound_line(&sound->definition, "soundtable @tables/p0");
    EXPECT_EQ(sound->definition.table, table);
    EXPECT_EQ(messages(), "(0, 0) Error reading '@rec/a.raw'|Error reading '@tables/p0'|");
}

TEST(EngineSound, GenerationOnTheReadbackDriver)
{
    audio_handle = open_readback_audio(0, 88320, 690);
    ASSERT_NE(audio_handle, 0);
    std::unique_ptr<BikeState> bike = bike_of_class("250f");
    EngineSound *sound = &engine_sounds[9];
    load_engine_sound(sound, bike.get(), nullptr);
    ASSERT_NE(sound->voice, nullptr);
    const MixerVoice *voice = (const MixerVoice *)sound->voice;
    EXPECT_EQ(voice->sample->length, ENGINE_RING);
    EXPECT_EQ(voice->volume, 0);
    EXPECT_TRUE(voice->flags & MIXER_LOOP);
    EXPECT_TRUE(voice->flags & MIXER_LINKED);

    // The first frame writes its cap; then the frames catch up with the
    // play position and keep 4410 samples ahead of it.
    generate_engine_sound(sound, 6000.0f, 1.0f);
    EXPECT_EQ(sound->write_position, 11025 + 8820);
    int locked_at = -1;
    for (int frame = 1; frame < 40; frame++) {
        mix_readback_fragment(audio_handle);
        int before = sound->write_position;
        generate_engine_sound(sound, 6000.0f, 1.0f);
        int position = get_voice_position(sound->voice);
        int written = (sound->write_position - before + ENGINE_RING) % ENGINE_RING;
        EXPECT_LE(written, 8820);
        if (sound->write_position == (position + 4410) % ENGINE_RING) {
            if (locked_at < 0)
                locked_at = frame;
            else
                EXPECT_EQ(written, 690) << frame;   // one fragment played, one written
        } else {
            EXPECT_LT(locked_at, 0) << "lost the lead at " << frame;
        }
    }
    EXPECT_GT(locked_at, 0);
    EXPECT_LE(locked_at, 6);
    // 128 fragments of 690 are 88320 samples: two seconds at the synthesis
    // rate, 100 firings of a four-stroke at 6000 rpm.
    uint32_t firings = sound->firing_count;
    for (int frame = 0; frame < 128; frame++) {
        mix_readback_fragment(audio_handle);
        generate_engine_sound(sound, 6000.0f, 1.0f);
    }
    EXPECT_NEAR((double)(sound->firing_count - firings), 100.0, 1.0);
    // What the voice holds is the ring in bytes.
    for (int back = 1; back <= 4410; back += 37) {
        int at = (sound->write_position - back + ENGINE_RING) % ENGINE_RING;
        long expected = lround(sound->ring[at] * 127.0f + 127.0f);
        expected = expected < 0 ? 0 : expected > 255 ? 255 : expected;
        EXPECT_EQ(voice->sample->data[at], expected) << at;
    }
    free_engine_sound(sound);
    EXPECT_EQ(sound->voice, nullptr);
    close_audio(audio_handle);
    audio_handle = 0;
}

TEST(EngineSound, FiringRateFollowsEngineSpeedWithinItsLimits)
{
    struct Case {
        std::vector<const char *> lines;
        float rpm;
        float hertz;
    } cases[] = {
        {{}, 6000, 50},                       // four-stroke: a firing every two turns
        {{"scale 2"}, 6000, 100},
        {{"bias 600"}, 6000, 55},
        {{}, 100, 1000 * 0.5f / 60},          // held up at the minimum speed
        {{"minrpm 0"}, 200, 5},               // at least 5 Hz
        {{}, 1e9f, 22050},                    // at most one firing per two samples
    };
    for (const Case &c : cases) {
        EngineSound *sound = engine_with_lines(c.lines);
        int position = 0;
        run_frames(sound, 20, 441, c.rpm, 0.0f, &position);
        uint32_t before = sound->firing_count;
        run_frames(sound, 100, 441, c.rpm, 0.0f, &position);   // 44100 samples: one second
        EXPECT_FLOAT_EQ(sound->firing_frequency, c.hertz) << c.rpm;
        EXPECT_NEAR((double)(sound->firing_count - before), c.hertz, 1.0) << c.rpm;
    }
}

TEST(EngineSound, FiringsWeighTheFourCellsAroundSpeedAndLoad)
{
    std::vector<int16_t> samples(16);
    for (int i = 0; i < 16; i++)
        samples[i] = (int16_t)(i * 1000);
    for (const char *name : {"w/a.raw", "w/b.raw", "w/c.raw", "w/d.raw"})
        write_file(test_data_dir() + name, recording(samples));
    write_file(test_data_dir() + "w/table",
               "SOUNDTABLE 2 2\n1000 8000\n0 1\n"
               "-1 2 @w/a.raw\n-1 2 @w/b.raw\n-1 2 @w/c.raw\n1 0 -1 4 @w/d.raw\n");
    const SoundTable *table = load_sound_table("@w/table");
    ASSERT_NE(table, nullptr) << messages();
    const float *a = table->cells[0].samples, *b = table->cells[1].samples;
    const float *c = table->cells[2].samples, *d = table->cells[3].samples;
    ASSERT_TRUE(a != b && b != c && c != d);
    struct Case {
        float rpm, torque;
        const float *cells[4];   // low row/low load, high row/low load, low row/high load, high/high
        float gains[4];
    } cases[] = {
        {4500, 5, {a, c, b, d}, {0.25f, 0.25f, 0.25f, 0.25f}},
        {500, 2.5f, {a, a, b, b}, {0, 0.75f, 0, 0.25f}},      // below the first row: row 0, weight 1
        {9000, 10, {d, d, d, d}, {0, 0, 0, 1}},               // above both: the last row and column
        {8000, 0, {c, c, d, d}, {0, 1, 0, 0}},
        {2750, -3, {a, c, b, d}, {0.75f, 0.25f, 0, 0}},       // load clamps to 0
    };
    for (const Case &k : cases) {
        EngineSound *sound = engine_with_lines({"soundtable @w/table", "lowtorque 0", "hightorque 10",
                                                "minrpm 0"});
        int position = 0;
        run_frames(sound, 3, 8820, k.rpm, k.torque, &position);   // speed steady, a firing each frame
        uint32_t before = sound->firing_count;
        run_frames(sound, 2, 8820, k.rpm, k.torque, &position);   // at 5 Hz a firing comes within 8821
        ASSERT_GT(sound->firing_count, before);
        for (int o = 0; o < 4; o++) {
            EXPECT_EQ(sound->oscillators[o].samples, k.cells[o]) << k.rpm << " " << o;
            EXPECT_FLOAT_EQ(sound->oscillators[o].gain, k.gains[o]) << k.rpm << " " << o;
        }
    }

    // The period played: the firing map's entry, stretched to one firing.
    EngineSound *sound = engine_with_lines({"soundtable @w/table", "lowtorque 0", "hightorque 10",
                                            "minrpm 0"});
    int position = 0;
    run_frames(sound, 3, 8820, 9000, 10, &position);
    const EngineOscillator &last = sound->oscillators[3];
    uint32_t next = sound->firing_count;   // the firing that set it was number next - 1
    int period = next % 2 ? 0 : 1;          // map {1, 0}, entry (c + 1) mod 2
    // 16 samples in 4 periods: it starts at sample 4 * entry and has moved
    // on whole steps since.
    uint64_t start = (uint64_t)(4 * period) * 1024;
    EXPECT_EQ(last.step, (uint64_t)(sound->firing_frequency / 44100.0 * 4 * 1024));
    ASSERT_GT(last.step, 0u);
    ASSERT_GE(last.position, start);
    EXPECT_EQ((last.position - start) % last.step, 0u);
    EXPECT_LT((last.position - start) / last.step, 44100.0 / sound->firing_frequency + 1);

    // Equal torques weigh 1, never 0/0.
    sound = engine_with_lines({"soundtable @w/table", "lowtorque 2", "hightorque 2"});
    run_frames(sound, 3, 8820, 4500, 2, &position);
    EXPECT_EQ(sound->load, 1.0f);
    EXPECT_FLOAT_EQ(sound->oscillators[3].gain + sound->oscillators[2].gain, 1.0f);
}

TEST(EngineSound, HostileInputLeavesTheRingFiniteAndBounded)
{
    write_file(test_data_dir() + "h/a.raw", recording({32767, -32768, 32767, -32768}));
    write_file(test_data_dir() + "h/p0", "SOUNDTABLE 1 1\n0\n0\n-1 0 @h/a.raw\n");
    write_file(test_data_dir() + "h/long", "SOUNDTABLE 1 1\n0\n0\n-1 1 @h/a.raw\n");
    struct Case {
        const char *label;
        std::vector<const char *> lines;
        float rpm, torque;
    } cases[] = {
        {"rpm NaN", {}, NAN, 1},
        {"rpm inf", {}, INFINITY, 1},
        {"rpm -inf", {}, -INFINITY, 1},
        {"torque NaN", {}, 6000, NAN},
        {"torque inf", {}, 6000, INFINITY},
        {"huge pipe gain", {"pipe 5 0.9 1e30 0 15"}, 6000, 1},
        {"huge pipe", {"pipe 1e30 1e30 -0.9"}, 6000, 1},
        {"huge scale", {"scale 1e30"}, 6000, 1},
        {"huge bias", {"bias -1e30 1e30"}, 6000, 1},
        {"huge minimum", {"minrpm 1e30"}, 6000, 1},
        {"P = 0 refused", {"soundtable @h/p0"}, 6000, 1},
        {"short recording", {"soundtable @h/long", "minrpm 0"}, 60, 1},   // 5 Hz over 4 samples
    };
    for (const Case &c : cases) {
        EngineSound *sound = engine_with_lines(c.lines);
        int position = 0;
        for (int f = 0; f < 60; f++) {
            float rpm = f % 7 == 3 ? 4000.0f : c.rpm;   // numbers and hostile values mixed
            synthesize_engine_samples(sound, rpm, c.torque, position);
            position = (position + 735) & (ENGINE_RING - 1);
        }
        ASSERT_NE(sound->ring, nullptr) << c.label;
        int bad = 0;
        for (int i = 0; i < ENGINE_RING; i++)
            bad += !(sound->ring[i] >= -16.0f && sound->ring[i] <= 16.0f);
        EXPECT_EQ(bad, 0) << c.label;
        EXPECT_GE(sound->firing_frequency, 5.0f) << c.label;
        EXPECT_LE(sound->firing_frequency, 22050.0f) << c.label;
        EXPECT_TRUE(std::isfinite(sound->previous_rpm)) << c.label;
    }
}

TEST(EngineSound, TheRingLivesFromLoadToFree)
{
    EngineSound *sound = &engine_sounds[150];
    ASSERT_EQ(sound->ring, nullptr);
    EXPECT_EQ(synthesize_engine_samples(sound, 5000.0f, 1.0f, 1000), 0);   // never loaded: nothing made
    std::unique_ptr<BikeState> bike = bike_of_class("250f");
    load_engine_sound(sound, bike.get(), nullptr);
    ASSERT_NE(sound->ring, nullptr);
    for (int i = 0; i < ENGINE_RING; i += 4096)
        EXPECT_EQ(sound->ring[i], 0.0f) << i;
    EXPECT_GT(synthesize_engine_samples(sound, 5000.0f, 1.0f, 1000), 0);
    free_engine_sound(sound);
    EXPECT_EQ(sound->ring, nullptr);
    EXPECT_EQ(synthesize_engine_samples(sound, 5000.0f, 1.0f, 1000), 0);
}
