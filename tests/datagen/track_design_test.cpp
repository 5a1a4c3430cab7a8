// The default track's design as its files load: a closed loop of 2,000 to
// 4,000 ft and 20 to 30 ft wide, wider at the start; a gate of 16 to 20
// pieces across the start straight, every piece and first-row place on
// the concrete pad; checkpoints every 100 to 300 ft, none on a jump or
// bumps, each spanning the track and reaching no other part of it, all of
// them in both lap lists.
#include "gamedata_fixture.h"

#include "app/default_data.h"
#include "bike/shape.h"
#include "platform/window.h"
#include "render/font.h"
#include "support/render_fixtures.h"
#include "tools/datagen/gen_track.h"
#include "track/decals.h"
#include "track/terrain.h"
#include "track/timing.h"
#include "track/track.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

struct DefaultTrack : testing::Test {
    GameWindow *window = nullptr;
    TrackModel model = {};
    void SetUp() override
    {
        ASSERT_FALSE(gamedata_dir().empty()) << "RUTLINE_GAMEDATA is not set";
        use_game_data(gamedata_dir() + "/data");
        window = open_test_gl_window(64, 64);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(scan_track_catalogue());
        set_track_folder(DEFAULT_TRACK_FOLDER);
        ASSERT_EQ(load_track(), 1);
        model.design = &DEFAULT_TRACK;
        int tiles = 1 << DEFAULT_TRACK.grid_exponent;
        model.side = 2 * tiles + 1;
        model.extent = DEFAULT_TRACK.cell * (float)(2 * tiles);
        ASSERT_TRUE(build_track_centreline(&model));
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

    // Distance from a to b going forward round the loop.
    float ahead(float a, float b) const
    {
        float d = std::fmod(b - a, model.length);
        return d < 0.0f ? d + model.length : d;
    }
    const CentrePoint *nearest(float x, float z, float *lateral) const
    {
        int i = nearest_centre_point(&model, x, z, 100.0f, lateral);
        return i < 0 ? nullptr : &model.points[i];
    }
};

}  // namespace

TEST_F(DefaultTrack, IsALoopOfRaceLengthAndWidth)
{
    EXPECT_STREQ(DEFAULT_TRACK.folder, DEFAULT_TRACK_FOLDER);
    EXPECT_GE(model.length, 2000.0f);
    EXPECT_LE(model.length, 4000.0f);
    // Closed: the last point leads back to the first.
    const CentrePoint *first = &model.points[0], *last = &model.points[model.count - 1];
    EXPECT_LT(std::hypot(first->x - last->x, first->z - last->z), 2.0f * CENTRELINE_STEP);
    float narrowest = 1e9f, widest = 0.0f;
    for (int i = 0; i < model.count; i++) {
        narrowest = std::fmin(narrowest, model.points[i].width);
        widest = std::fmax(widest, model.points[i].width);
    }
    EXPECT_GE(narrowest, 20.0f);
    EXPECT_LE(DEFAULT_TRACK.width, 30.0f);
    EXPECT_GT(widest, DEFAULT_TRACK.width + 10.0f) << "a start straight wider than the track";
    EXPECT_EQ(current_terrain->grid_exponent, 10);
}

TEST_F(DefaultTrack, TheGateSpansTheStartStraightOnTheConcretePad)
{
    ASSERT_GE(start_gate_count, 16);
    ASSERT_LE(start_gate_count, 20);
    float lateral0 = 0.0f;
    const CentrePoint *gate = nearest(start_gate_pieces[0].x, start_gate_pieces[0].z, &lateral0);
    ASSERT_NE(gate, nullptr);
    float low = 1e9f, high = -1e9f;
    for (int k = 0; k < start_gate_count; k++) {
        float lateral = 0.0f;
        const CentrePoint *p = nearest(start_gate_pieces[k].x, start_gate_pieces[k].z, &lateral);
        ASSERT_NE(p, nullptr);
        EXPECT_LE(std::fabs(lateral), p->width * 0.5f) << "piece " << k << " off the track";
        low = std::fmin(low, lateral);
        high = std::fmax(high, lateral);
    }
    float spacing = (high - low) / (float)(start_gate_count - 1);
    EXPECT_GE(high - low + spacing, 0.8f * gate->width) << "the gate covers the start straight";

    // The pad: the decal whose rectangle holds every piece and the place
    // behind it where the first row stands (0.625 ft back).
    ASSERT_NE(current_terrain->decals.data, nullptr);
    ASSERT_EQ(current_terrain->decals.count, 1);
    const Decal *pad = (const Decal *)current_terrain->decals.data;
    // Length s along (sin, cos) and width r s along (cos, -sin).
    auto on_pad = [&](float x, float z) {
        float dx = x - pad->x, dz = z - pad->z;
        float along = dx * pad->sine + dz * pad->cosine;
        float across = dx * pad->cosine - dz * pad->sine;
        return std::fabs(along) <= pad->width * 0.5f && std::fabs(across) <= pad->width * pad->aspect * 0.5f;
    };
    for (int k = 0; k < start_gate_count; k++) {
        const StartGatePiece *g = &start_gate_pieces[k];
        EXPECT_TRUE(on_pad(g->x, g->z)) << "piece " << k;
        EXPECT_TRUE(on_pad(g->x + sinf(g->angle) * 0.625f, g->z + cosf(g->angle) * 0.625f)) << "place " << k;
    }
}

TEST_F(DefaultTrack, CheckpointsAreSpacedOffTheJumpsAndReachOnlyTheirOwnStretch)
{
    ASSERT_GE(timing_gate_count, 7);
    // Both lap lists: every checkpoint in order, all timing gates.
    ASSERT_EQ(lap_gate_list.first_lap_count, timing_gate_count);
    ASSERT_EQ(lap_gate_list.normal_lap_count, timing_gate_count);
    EXPECT_EQ(lap_gate_list.first_lap_timing, timing_gate_count);
    EXPECT_EQ(lap_gate_list.normal_lap_timing, timing_gate_count);
    for (int k = 0; k < timing_gate_count; k++) {
        EXPECT_EQ(lap_gate_list.entries[k], k);
        EXPECT_EQ(lap_gate_list.entries[timing_gate_count + k], k);
    }
    // The spans of the jumps and bumps.
    std::vector<std::pair<float, float>> spans;
    for (int f = 0; f < DEFAULT_TRACK.feature_count; f++)
        if (DEFAULT_TRACK.features[f].kind != FEATURE_SAND) {
            float s0, s1;
            feature_span(&model, f, &s0, &s1);
            spans.push_back({s0, s1});
        }
    float previous = -1.0f;
    float first_s = 0.0f;
    for (int k = 0; k < timing_gate_count; k++) {
        SCOPED_TRACE("checkpoint " + std::to_string(k));
        const TimingGate *g = &timing_gates[k];
        float lateral = 0.0f;
        const CentrePoint *at = nearest(g->x, g->z, &lateral);
        ASSERT_NE(at, nullptr);
        EXPECT_LT(std::fabs(lateral), 1.0f) << "on the line";
        // Crossed the way the riders go.
        EXPECT_GT(g->direction[0] * at->dx + g->direction[2] * at->dz, 0.9f);
        EXPECT_GE(g->radius, at->width * 0.5f) << "spans the width";
        for (const auto &span : spans)
            EXPECT_FALSE(ahead(span.first, at->s) < span.second - span.first) << "on the jump at " << span.first;
        if (previous >= 0.0f) {
            float gap = ahead(previous, at->s);
            EXPECT_GE(gap, 100.0f);
            EXPECT_LE(gap, 300.0f);
        } else {
            first_s = at->s;
        }
        previous = at->s;
        // No other stretch of the track comes within the radius.
        for (int i = 0; i < model.count; i += 2) {
            const CentrePoint *p = &model.points[i];
            float along = std::fmin(ahead(at->s, p->s), ahead(p->s, at->s));
            if (along < g->radius + 30.0f)
                continue;
            float clear = std::hypot(p->x - g->x, p->z - g->z) - p->width * 0.5f;
            EXPECT_GT(clear, g->radius) << "reaches the track at " << p->s;
            if (clear <= g->radius)
                break;
        }
    }
    // From the finish line round to the first checkpoint.
    float gap = ahead(previous, first_s);
    EXPECT_GE(gap, 100.0f);
    EXPECT_LE(gap, 300.0f);
}
