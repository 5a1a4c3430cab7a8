// Timing gates (sections, acceptance, lap-list values, the lap pool, writing
// back) and flaggers.
#include "track/timing.h"

#include "bike/shape.h"
#include "race/lap_pool.h"
#include "track/objects.h"
#include "track/track.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

class Timing : public testing::Test {
protected:
    MemoryTerrain *memory = nullptr;
    GameWindow *window = nullptr;
    void SetUp() override
    {
        memory = new MemoryTerrain();
        current_terrain = &memory->terrain;
        set_track_folder("tracks/gates");
        window = open_test_gl_window();
        ASSERT_NE(window, nullptr);
        for (const char *name : {"@startgate.jm", "@startgate.ppm", "@flag0.png", "@flag1.png"})
            write_game_asset(name);
        write_file(test_data_dir() + "startgate.shp", "0\n");
    }
    void TearDown() override
    {
        for (int i = 0; i < statue_table.count; i++)
            free_statue(get_statue(i));
        free_growable_array(&statue_table);
        free_billboard_names();
        free_growable_array(&billboard_table);
        free_growable_array(&billboard_draw_slots);
        free_growable_array(&flagger_list);
        free_lap_pool();
        close_test_gl_window(window);
        free_shape_cache();
        set_track_folder(nullptr);
        current_terrain = nullptr;
        delete memory;
    }
    void read(const std::string &text)
    {
        write_file(test_data_dir() + "tracks/gates/timing_gates", text);
        read_timing_gates("@tracks/gates/timing_gates");
    }
};

static const char *const CHECKPOINTS = "checkpoints:\n"
                                       "10 [ 1 2 3 ] [ 0 0 1 ]\n"
                                       "12 [ 4 5 6 ] [ 1 0 0 ]\n"
                                       "14 [ 7 8 9 ] [ 0 0 -1 ]\n";

TEST_F(Timing, AcceptanceRules)
{
    struct Case {
        const char *name;
        std::string lists;
        bool accepted;
    } cases[] = {
        {"three and three", "firstlap: 0 1 2 normallap: 0 1 2", true},
        {"first lap of two", "firstlap: 0 1 normallap: 0 1 2", false},
        {"normal lap of two", "firstlap: 0 1 2 normallap: 1 2", false},
        {"two timing gates", "firstlap: 0 100001 2 normallap: 0 1 2", false},
        {"marks beside three", "firstlap: 0 100001 1 2 normallap: 0 1 100002 2", true},
        {"no normal lap", "firstlap: 0 1 2", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        read(std::string(CHECKPOINTS) + c.lists + "\n");
        EXPECT_EQ(timing_gate_count > 0, c.accepted);
        EXPECT_EQ(lap_pool != nullptr, c.accepted);
        free_lap_pool();
    }
    // No checkpoints at all.
    read("firstlap: 0 1 2 normallap: 0 1 2\n");
    EXPECT_EQ(timing_gate_count, 0);
    EXPECT_EQ(lap_gate_list.first_lap_count, 0);
}

TEST_F(Timing, LapListValuesAndThePool)
{
    read(std::string(CHECKPOINTS) + "firstlap: 0 100003 -5 7 1\nnormallap: 2 1 0 100000\n");
    ASSERT_EQ(timing_gate_count, 3);
    EXPECT_FLOAT_EQ(timing_gates[1].radius, 12.0f);
    EXPECT_FLOAT_EQ(timing_gates[2].direction[2], -1.0f);
    const LapGateList &l = lap_gate_list;
    EXPECT_EQ(l.first_lap_count, 5);
    EXPECT_EQ(l.normal_lap_count, 4);
    int expected[] = {0, 100002, 0, 2, 1, 2, 1, 0, 100000};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(l.entries[i], expected[i]) << i;
    EXPECT_EQ(l.first_lap_timing, 4);
    EXPECT_EQ(l.normal_lap_timing, 3);
    // One row per timing gate of both laps, every candidate empty with no time.
    ASSERT_EQ(lap_pool_rows, 7);
    for (int row = 0; row < 7; row++)
        for (int i = 0; i < LAP_POOL_CANDIDATES; i++) {
            const LapCandidate &c = lap_pool_row(row)[i];
            ASSERT_EQ(c.samples, nullptr);
            ASSERT_EQ(c.count, 0);
            ASSERT_EQ(c.section_time, LAP_NO_TIME);
            ASSERT_EQ(c.pair_time, LAP_NO_TIME);
            ASSERT_EQ(c.best_section_time, LAP_NO_TIME);
            ASSERT_EQ(c.best_pair_time, LAP_NO_TIME);
            ASSERT_EQ(c.runs + c.section_sum + c.pair_sum + c.penalties + c.serial, 0);
        }
    // F + R rows are all the pool needs: later laps wrap into the normal lap.
    EXPECT_EQ(lap_pool_first_rows, 4);
    struct Wrap {
        int row, stored;
    } wraps[] = {{0, 0}, {3, 3}, {4, 4}, {6, 6}, {7, 4}, {9, 6}, {4 + 3 * 50 + 1, 5}, {-1, -1}};
    for (const Wrap &w : wraps) {
        SCOPED_TRACE(w.row);
        EXPECT_EQ(lap_pool_row(w.row), w.stored < 0 ? nullptr : lap_pool + w.stored * LAP_POOL_CANDIDATES);
    }
    EXPECT_EQ(lap_serial_counter, 0);
    for (int i = 0; i < 3 * 7; i++)
        EXPECT_EQ(line_results[i], 0);
}

TEST_F(Timing, StartingGateSection)
{
    read("startinggate:\n"
         "[ 10 0 20 ] 0\n"
         "[ 14 0 20 ] 7.0 @startgate.jm @other.ppm\n"
         "checkpoints:\n"
         "10 [ 1 2 3 ] [ 0 0 1 ]\n"
         "firstlap: 0 0 0 normallap: 0 0 0\n");
    ASSERT_EQ(start_gate_count, 2);
    EXPECT_EQ(timing_gate_count, 1);
    // 7 rad is brought into [-pi, pi].
    EXPECT_NEAR(start_gate_pieces[1].angle, 7.0f - 2 * 3.14159265f, 1e-5);
    const Statue *gate = get_statue(start_gate_statues[0]);
    ASSERT_NE(gate, nullptr);
    EXPECT_FLOAT_EQ(gate->x, 10.0f);
    EXPECT_FLOAT_EQ(gate->z, 17.0f);   // 3 ft behind the piece
    EXPECT_NE(gate->model, nullptr);
    EXPECT_NE(gate->shape, nullptr);

    ASSERT_EQ(write_timing_gates(), 1);
    std::string text;
    read_file(test_home_dir() + "tracks/gates/timing_gates", &text);
    char second[256];
    // The texture that failed to load is written back as it was read.
    snprintf(second, sizeof second, "[14.000000 0.000000 20.000000] %f @startgate.jm @other.ppm @startgate.shp\n",
             start_gate_pieces[1].angle);
    EXPECT_EQ(text, std::string("startinggate:\n"
                                "[10.000000 0.000000 20.000000] 0.000000\n") +
                        second +
                        "checkpoints:\n"
                        "10.000000 [1.000000 2.000000 3.000000] [0.000000 0.000000 1.000000]\n"
                        "firstlap:\n0 0 0 \nnormallap:\n0 0 0 \n");
}

TEST_F(Timing, FullStartingGateKeepsTheSectionsAfterIt)
{
    // 160 pieces is the most kept; further piece lines are read past, and
    // the checkpoints and lap lists after them still count.
    for (int pieces : {(int)START_GATE_PIECES, START_GATE_PIECES + 2}) {
        SCOPED_TRACE(pieces);
        std::string text = "startinggate:\n";
        for (int i = 0; i < pieces; i++)
            text += "[ " + std::to_string(i) + " 0 20 ] 0\n";
        read(text + CHECKPOINTS + "firstlap: 0 1 2 normallap: 0 1 2\n");
        EXPECT_EQ(start_gate_count, START_GATE_PIECES);
        EXPECT_FLOAT_EQ(start_gate_pieces[START_GATE_PIECES - 1].x, (float)(START_GATE_PIECES - 1));
        EXPECT_EQ(statue_table.count, START_GATE_PIECES);
        EXPECT_EQ(timing_gate_count, 3);
        for (int i = 0; i < statue_table.count; i++)
            free_statue(get_statue(i));
        statue_table.count = 0;
        free_lap_pool();
    }
}

TEST_F(Timing, NumbersThatAreNotFinite)
{
    // A gate piece that is not finite is passed over; a checkpoint ends the list.
    read("startinggate:\n[ 1e999 0 20 ] 0\n[ 10 0 20 ] 0\n"
         "checkpoints:\n10 [ 1 2 3 ] [ 0 0 1 ]\n12 [ 4 5 6 ] [ 1 0 0 ]\n14 [ 7 -1e999 9 ] [ 0 0 -1 ]\n"
         "firstlap: 0 1 2 normallap: 0 1 2\n");
    EXPECT_EQ(start_gate_count, 1);
    EXPECT_FLOAT_EQ(start_gate_pieces[0].x, 10.0f);
    EXPECT_EQ(timing_gate_count, 2);
    EXPECT_EQ(lap_gate_list.entries[2], 1);   // clamped to the two checkpoints kept
    free_lap_pool();
    std::string dir = test_data_dir() + "tracks/gates/";
    write_file(dir + "flaggers", "[ 1 2 3 ] [ 4 5 6 ] 2 3 1e999\n@flag0.png a b c d\n");
    read_flaggers("@tracks/gates/flaggers");
    EXPECT_EQ(flagger_setup.billboard_a, -1);
    EXPECT_FLOAT_EQ(flagger_setup.value, 1.0f);
}

TEST_F(Timing, BlankLineInTheStartingGateEndsTheSections)
{
    read("startinggate:\n[ 10 0 20 ] 0\n\ncheckpoints:\n10 [ 1 2 3 ] [ 0 0 1 ]\n"
         "firstlap: 0 0 0 normallap: 0 0 0\n");
    EXPECT_EQ(start_gate_count, 1);
    EXPECT_EQ(timing_gate_count, 0);
}

TEST_F(Timing, Flaggers)
{
    std::string dir = test_data_dir() + "tracks/gates/";
    read(std::string(CHECKPOINTS) + "firstlap: 0 1 2 normallap: 0 1 2\n");
    std::string part_a = "[ 1 2 3 ] [ 4 5 6 ] 2 3 0.5\n@flag0.png @flag1.png a b c\n";
    std::string part_b = "[ 7 8 9 ] 1 1\n@flag1.png x y z\n";
    std::string flaggers = "[ 20 0 30 ] 2 2 -7 1 5 -1 @flag0.png @flag1.png\n"
                           "[ 21 0 31 ] 2 2 0 0 0 0 @flag1.png\n";   // no second texture: ends here
    struct Case {
        std::string text;
        int billboard_a, billboard_b, flaggers;
    } cases[] = {
        {"", -1, -1, 0},
        {part_a, 0, -1, 0},
        {part_a + part_b, 0, 1, 0},
        {part_a + part_b + flaggers, 0, 1, 1},
    };
    for (const Case &c : cases) {
        free_billboard_names();
        billboard_table.count = billboard_draw_slots.count = 0;
        flagger_list.count = 0;
        write_file(dir + "flaggers", c.text);
        read_flaggers("@tracks/gates/flaggers");
        EXPECT_EQ(flagger_setup.billboard_a, c.billboard_a);
        EXPECT_EQ(flagger_setup.billboard_b, c.billboard_b);
        EXPECT_EQ(flagger_list.count, c.flaggers);
    }
    EXPECT_FLOAT_EQ(flagger_setup.value, 0.5f);
    EXPECT_NE(flagger_setup.textures_a[1], 0);
    EXPECT_EQ(flagger_setup.textures_a[2], 0);
    const Flagger *f = (const Flagger *)flagger_list.data;
    EXPECT_EQ(f->checkpoints[0], -1);
    EXPECT_EQ(f->checkpoints[1], 1);
    EXPECT_EQ(f->checkpoints[2], 2);   // clamped to the last checkpoint
    EXPECT_EQ(f->checkpoints[3], -1);
    EXPECT_EQ(get_billboard(f->billboard)->texture, f->texture_one);
    EXPECT_NE(f->texture_two, 0);
}
