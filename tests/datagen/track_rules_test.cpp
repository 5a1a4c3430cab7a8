// The rules the track designs keep, on the centrelines the generator
// builds (no game data needed): every bump section's crests throw a bike
// only above the fastest any skill's line rides it, a double's back and
// landing front are no steeper than the rule, the start straight stays
// wide to the first turn, jumps are planned at their speed; a design
// that breaks a rule is refused with words that say which; and a jump's
// run-up never raises a limit set before it.
#include "tools/datagen/gen_lines.h"
#include "tools/datagen/gen_track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Model {
    TrackModel track = {};
    explicit Model(const TrackDesign *design)
    {
        track.design = design;
        int tiles = 1 << design->grid_exponent;
        track.side = 2 * tiles + 1;
        track.extent = design->cell * (float)(2 * tiles);
    }
    ~Model()
    {
        free_track_model(&track);
    }
    // Forward distance from a to b round the loop.
    float ahead(float a, float b) const
    {
        float d = std::fmod(b - a, track.length);
        return d < 0.0f ? d + track.length : d;
    }
};

const TrackDesign *const DESIGNS[] = {&DEFAULT_TRACK, &FIXTURE_TRACK};

// The top of a jump's face (its lip): the centreline sample between s0
// and s1 past which the profile first stops rising; -1 when none.
int face_top(const TrackModel *t, float s0, float s1)
{
    for (int i = 0; i + 1 < t->count; i++)
        if (t->points[i].s >= s0 && t->points[i].s < s1 && t->points[i].profile > 0.0f &&
            t->points[i + 1].profile <= t->points[i].profile + 1e-4f)
            return i;
    return -1;
}

}  // namespace

TEST(TrackRules, EveryBumpSectionThrowsABikeOnlyAboveTheSpeedEveryLinePlansThere)
{
    for (const TrackDesign *design : DESIGNS) {
        SCOPED_TRACE(design->folder);
        Model m(design);
        ASSERT_TRUE(build_track_centreline(&m.track));
        std::vector<float> speeds((size_t)m.track.count);
        int sections = 0;
        for (int skill = 0; skill < LINE_SKILL_COUNT; skill++) {
            SCOPED_TRACE(SKILL_PROFILES[skill].file);
            ASSERT_TRUE(plan_line_speeds(&m.track, &SKILL_PROFILES[skill], speeds.data()));
            for (int f = 0; f < design->feature_count; f++) {
                const Feature *feature = &design->features[f];
                if (feature->kind != FEATURE_WHOOPS && feature->kind != FEATURE_RHYTHM)
                    continue;
                sections += skill == 0;
                float s0, s1;
                feature_span(&m.track, f, &s0, &s1);
                float fastest = 0.0f;
                for (int i = 0; i < m.track.count; i++)
                    if (m.ahead(s0, m.track.points[i].s) < s1 - s0)
                        fastest = std::fmax(fastest, speeds[(size_t)i]);
                // The lift over a crest at the planned speed, in g.
                float launch = bump_launch_speed(feature);
                float lift = fastest * fastest / (launch * launch);
                EXPECT_GT(launch, fastest) << "bump section " << f;
                EXPECT_LE(lift, BUMP_LOAD_LIMIT + 1e-4f) << "bump section " << f << " at " << fastest << " ft/s";
                EXPECT_GT(fastest, 10.0f) << "bump section " << f << " is ridden, not crawled";
            }
        }
        if (design == &DEFAULT_TRACK) {
            EXPECT_GE(sections, 4) << "whoops and rhythm sections on the default track";
        }
    }
}

TEST(TrackRules, DoublesRollThroughAndTheStartStaysWideToTheFirstTurn)
{
    for (const TrackDesign *design : DESIGNS) {
        SCOPED_TRACE(design->folder);
        Model m(design);
        ASSERT_TRUE(build_track_centreline(&m.track));
        const TrackModel *t = &m.track;
        // Between the lip and the end of the landing's top no slope is
        // steeper than the rule: the profile sampled every foot.
        float steepest = std::tan(JUMP_BACK_ANGLE) + 0.01f;
        for (int f = 0; f < design->feature_count; f++) {
            const Feature *feature = &design->features[f];
            if (feature->kind != FEATURE_DOUBLE)
                continue;
            float s0, s1;
            feature_span(t, f, &s0, &s1);
            // The lip: the last sample up the face; the end of the
            // landing's top: the last sample at the full height.
            int lip = face_top(t, s0, s1), last = -1;
            for (int i = 0; i < t->count; i++)
                if (t->points[i].s >= s0 && t->points[i].s < s1 && t->points[i].profile >= feature->height - 1e-3f)
                    last = i;
            ASSERT_GE(lip, 0);
            ASSERT_GT(last, lip);
            float deepest = feature->height;
            for (int i = lip; i < last; i++) {
                float slope = std::fabs(t->points[i + 1].profile - t->points[i].profile) / CENTRELINE_STEP;
                EXPECT_LE(slope, steepest) << "double " << f << " at " << t->points[i].s;
                deepest = std::fmin(deepest, t->points[i].profile);
            }
            EXPECT_LT(deepest, feature->height * 0.5f) << "double " << f << " has a gap";
        }
        // The start straight: the start width from the gate to the first
        // turn, and the first jump face well past the gate.
        int straight = 0;
        for (int i = 0; i < t->count; i++) {
            float s = t->points[i].s;
            if (s >= t->gate_s && s < t->leg_end[design->gate_leg]) {
                EXPECT_FLOAT_EQ(t->points[i].width, design->start_width) << "at " << s;
                straight++;
            }
        }
        EXPECT_GT(straight, 100);
        EXPECT_GE(m.ahead(t->gate_s, t->leg_end[design->gate_leg]), START_CLEAR) << "the first turn";
        float first_face = t->length;
        for (int f = 0; f < design->feature_count; f++)
            if (design->features[f].kind == FEATURE_TABLETOP || design->features[f].kind == FEATURE_DOUBLE) {
                float s0, s1;
                feature_span(t, f, &s0, &s1);
                first_face = std::fmin(first_face, m.ahead(t->gate_s, s0));
            }
        EXPECT_GE(first_face, START_CLEAR);
    }
}

TEST(TrackRules, EverySkillRidesUpAJumpsFaceAtTheJumpsSpeed)
{
    Model m(&DEFAULT_TRACK);
    ASSERT_TRUE(build_track_centreline(&m.track));
    std::vector<float> speeds((size_t)m.track.count);
    int jumps = 0;
    for (int skill = 0; skill < LINE_SKILL_COUNT; skill++) {
        SCOPED_TRACE(SKILL_PROFILES[skill].file);
        ASSERT_TRUE(plan_line_speeds(&m.track, &SKILL_PROFILES[skill], speeds.data()));
        for (int f = 0; f < DEFAULT_TRACK.feature_count; f++) {
            const Feature *feature = &DEFAULT_TRACK.features[f];
            if (feature->kind != FEATURE_DOUBLE && feature->kind != FEATURE_TABLETOP)
                continue;
            jumps += skill == 0;
            float s0, s1;
            feature_span(&m.track, f, &s0, &s1);
            int lip = face_top(&m.track, s0, s1);
            ASSERT_GE(lip, 0);
            EXPECT_NEAR(speeds[(size_t)lip], feature->speed, 0.5f) << "jump " << f;
        }
    }
    EXPECT_GE(jumps, 6);
}

TEST(TrackRules, ADesignThatBreaksARuleIsRefusedSayingWhich)
{
    struct Case {
        const char *what;
        Feature extra;      // added to the fixture loop's features (none: a sandy stretch of no length)
        float gate_offset;  // the gate's place, 0: the fixture's own
        const char *words;  // in the refusal
    };
    // The fixture loop: straights of 315, 135, 340 and 160 ft after its
    // corners, its gate 25 ft into straight 0 (290 ft short of the first
    // turn), its tabletop 60 ft into straight 2.
    const Feature none = {FEATURE_SAND, 0, 0, 0, 0, 0, 0, 0};
    const Case cases[] = {
        {"whoops too high for their speed", {FEATURE_WHOOPS, 1, 20, 24, 0.9f, 0, 8, 12}, 0, "throw a bike at 16."},
        {"rhythm too tight for its speed", {FEATURE_RHYTHM, 1, 20, 30, 2.5f, 0, 4, 28}, 0, "rhythm section #1"},
        {"whoops ending 40 ft before a face", {FEATURE_WHOOPS, 2, 0, 24, 0.1f, 0, 2, 10}, 0,
         "ends 40 ft before the face of tabletop #0"},
        {"a tabletop just past the fixture's landing", {FEATURE_TABLETOP, 2, 139, 34, 2.5f, 0.3f, 0, 0}, 0,
         "before the face of tabletop #1"},
        {"sand on whoops", {FEATURE_SAND, 1, 0, 0, 0, 0, 0, 60}, 0, "lies in sandy stretch"},
        {"a jump near the gate", {FEATURE_TABLETOP, 0, 90, 30, 2.0f, 0.3f, 0, 0}, 0, "past the gate"},
        {"the first turn near the gate", none, 100, "the first turn of tracks/fixture_loop is 215 ft past the gate"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TrackDesign design = FIXTURE_TRACK;
        Feature keep = design.features[0];
        design.feature_count = 0;
        bool sand = c.extra.kind == FEATURE_SAND, added = !sand || c.extra.spacing > 0.0f;
        // Bumps the sand case lies on.
        if (sand && added)
            design.features[design.feature_count++] = {FEATURE_WHOOPS, 1, 20, 24, 0.4f, 0, 4, 20};
        design.features[design.feature_count++] = keep;
        if (added)
            design.features[design.feature_count++] = c.extra;
        if (c.gate_offset > 0.0f)
            design.gate_offset = c.gate_offset;
        Model m(&design);
        char why[256] = "";
        int built = build_track_centreline(&m.track);
        ASSERT_TRUE(m.track.points != nullptr);
        EXPECT_FALSE(built);
        EXPECT_FALSE(check_track_design(&m.track, why, sizeof why));
        EXPECT_NE(std::string(why).find(c.words), std::string::npos) << why;
        EXPECT_NE(std::string(why).find(design.folder), std::string::npos) << why;
    }
    // The fixture itself passes.
    Model m(&FIXTURE_TRACK);
    ASSERT_TRUE(build_track_centreline(&m.track));
    char why[256] = "x";
    EXPECT_TRUE(check_track_design(&m.track, why, sizeof why));
    EXPECT_STREQ(why, "");
}

TEST(TrackRules, AJumpsRunUpKeepsTheLimitsSetBeforeIt)
{
    // Sand right up to the fixture's tabletop face: the run-up lies on it.
    TrackDesign design = FIXTURE_TRACK;
    design.features[design.feature_count++] = {FEATURE_SAND, 2, 0, 0, 0, 0, 0, 58};
    Model m(&design);
    ASSERT_TRUE(build_track_centreline(&m.track));
    std::vector<float> speeds((size_t)m.track.count);
    for (int skill = 0; skill < LINE_SKILL_COUNT; skill++) {
        SCOPED_TRACE(SKILL_PROFILES[skill].file);
        const SkillProfile *profile = &SKILL_PROFILES[skill];
        ASSERT_TRUE(plan_line_speeds(&m.track, profile, speeds.data()));
        int sandy = 0;
        for (int i = 0; i < m.track.count; i++)
            if (m.track.points[i].sand) {
                sandy++;
                EXPECT_LE(speeds[(size_t)i], profile->top_speed * 0.8f + 1e-3f) << "at " << m.track.points[i].s;
            }
        EXPECT_GT(sandy, 50);
    }
}
