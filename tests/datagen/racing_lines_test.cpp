// The racing lines the generator rode: each skill's file of each track
// reads back through the game's reader with one row per timing row, every
// row holds a line, the first row has a start behind every piece of the
// gate's first row, every sample lies on the track or its shoulder, and
// the lines' first lap and a normal one take the time they took before the
// tracks' bumps and jumps were matched to the lines' speeds, within 10%.
#include "gamedata_fixture.h"

#include "app/default_data.h"
#include "bike/shape.h"
#include "platform/window.h"
#include "race/lap_pool.h"
#include "race/race_state.h"
#include "race/racing_lines.h"
#include "support/render_fixtures.h"
#include "tools/datagen/gen_lines.h"
#include "tools/datagen/gen_track.h"
#include "track/timing.h"
#include "track/track.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// How far past the track's edge a line may run: over the tape (3 ft out)
// onto the shoulder, not into the field.
const float EDGE_MARGIN = 6.0f;
// Two laps of each skill's lines (novice, amateur, expert) as the
// generator rode them: the default track before its bumps and jumps were
// matched to the lines' speeds, the fixture loop since its longer start
// straight.
const float DEFAULT_LINE_SECONDS[LINE_SKILL_COUNT] = {251.2f, 227.9f, 205.2f};
const float FIXTURE_LINE_SECONDS[LINE_SKILL_COUNT] = {87.3f, 75.8f, 68.0f};

struct TrackLines : testing::Test {
    std::string log;
    GameWindow *window = nullptr;
    TrackModel model = {};
    void SetUp() override
    {
        log = capture_log();
        ASSERT_FALSE(gamedata_dir().empty()) << "RUTLINE_GAMEDATA is not set";
        use_game_data(gamedata_dir() + "/data");
        window = open_test_gl_window(64, 64);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        free_track_model(&model);
        free_track();
        free_track_catalogue();
        set_track_folder(nullptr);
        free_shape_cache();
        close_test_gl_window(window);
    }

    // Loads the track and the centreline of its design.
    void load(const TrackDesign *design)
    {
        ASSERT_TRUE(scan_track_catalogue());
        set_track_folder(design->folder);
        ASSERT_EQ(load_track(), 1);
        model.design = design;
        int tiles = 1 << design->grid_exponent;
        model.side = 2 * tiles + 1;
        model.extent = design->cell * (float)(2 * tiles);
        ASSERT_TRUE(build_track_centreline(&model));
    }

    // The seconds of the first lap and a normal one along the fastest line
    // of every row; the figures of the lines before the redesign, by skill.
    void check_skill_lines(int skill, const float (&earlier)[LINE_SKILL_COUNT])
    {
        SCOPED_TRACE(SKILL_PROFILES[skill].file);
        // A fresh pool of the track's rows for each file.
        create_lap_pool(lap_pool_first_rows, lap_pool_rows - lap_pool_first_rows);
        int rows = lap_gate_list.first_lap_timing + lap_gate_list.normal_lap_timing;
        ASSERT_GT(rows, 4);
        std::string path = std::string("@") + model.design->folder + "/" + SKILL_PROFILES[skill].file;
        ASSERT_EQ(read_racing_line_file(path.c_str()), rows);

        int off_track = 0, samples = 0;
        float worst = 0.0f;
        for (int row = 0; row < rows; row++) {
            const LapCandidate *c = lap_pool_row(row);
            int lines = 0;
            for (int k = 0; k < LAP_POOL_CANDIDATES; k++) {
                if (c[k].count <= 0)
                    continue;
                lines++;
                EXPECT_LT(c[k].section_time, LAP_NO_TIME) << "row " << row;
                for (int i = 0; i < c[k].count; i++) {
                    const LineSample *s = &c[k].samples[i];
                    float lateral = 0.0f;
                    int near = nearest_centre_point(&model, s->x, s->z, 200.0f, &lateral);
                    samples++;
                    float beyond = near < 0 ? 1e9f : std::fabs(lateral) - model.points[near].width * 0.5f;
                    worst = std::fmax(worst, beyond);
                    off_track += beyond > EDGE_MARGIN;
                }
            }
            EXPECT_GE(lines, 1) << "row " << row << " holds no line";
        }
        EXPECT_EQ(off_track, 0) << "of " << samples << " samples, the worst " << worst << " ft past the edge";

        long long tics = 0;
        for (int row = 0; row < rows; row++) {
            const LapCandidate *c = lap_pool_row(row);
            int fastest = LAP_NO_TIME;
            for (int k = 0; k < LAP_POOL_CANDIDATES; k++)
                if (c[k].count > 0)
                    fastest = std::min(fastest, c[k].section_time);
            tics += fastest;
        }
        float seconds = (float)tics / (float)TIC_RATE;
        EXPECT_NEAR(seconds, earlier[skill], 0.1f * earlier[skill]) << "two laps of the lines";

        // Row 0: a start behind every piece of the first gate row: each
        // line's first sample, taken across the gate, is nearest one piece.
        const LapCandidate *first = lap_pool_row(0);
        ASSERT_GT(start_gate_count, 1);
        float angle = start_gate_pieces[0].angle;
        float across_x = cosf(angle), across_z = -sinf(angle);
        std::vector<int> starts(start_gate_count, 0);
        for (int k = 0; k < LAP_POOL_CANDIDATES; k++) {
            if (first[k].count <= 0)
                continue;
            float along = first[k].samples[0].x * across_x + first[k].samples[0].z * across_z;
            int best = -1;
            float best_gap = 1e9f;
            for (int piece = 0; piece < start_gate_count; piece++) {
                const StartGatePiece *g = &start_gate_pieces[piece];
                float gap = std::fabs(g->x * across_x + g->z * across_z - along);
                if (gap < best_gap) {
                    best_gap = gap;
                    best = piece;
                }
            }
            if (best_gap < 1.0f)
                starts[best]++;
        }
        for (int piece = 0; piece < start_gate_count; piece++)
            EXPECT_GE(starts[piece], 1) << "no start behind gate piece " << piece;
    }
};

}  // namespace

TEST_F(TrackLines, EverySkillOfTheDefaultTrackHasALineInEveryRowAndAStartAtEveryGate)
{
    load(&DEFAULT_TRACK);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(start_gate_count, DEFAULT_TRACK.gate_pieces);
    for (int skill = 0; skill < LINE_SKILL_COUNT; skill++)
        check_skill_lines(skill, DEFAULT_LINE_SECONDS);
    expect_no_problem_lines(log);
}

TEST_F(TrackLines, TheFixtureTrackCopiedHomeHasEveryFileAndItsLines)
{
    ASSERT_TRUE(install_fixture_track(FIXTURE_TRACK.folder));
    load(&FIXTURE_TRACK);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(current_terrain->grid_exponent, FIXTURE_TRACK.grid_exponent);
    EXPECT_GT(timing_gate_count, 2);
    for (int skill = 0; skill < LINE_SKILL_COUNT; skill++)
        check_skill_lines(skill, FIXTURE_LINE_SECONDS);
    expect_no_problem_lines(log);
}
