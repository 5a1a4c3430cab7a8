// Track design: a closed centreline of straights and arcs (a polygon of
// waypoints with rounded corners), the track's width along it, its
// features (berms, off-camber turns, jumps, whoops, rhythm sections), the
// start gate and the checkpoints; and the terrain, tiles and files made
// from it.
#pragma once

#include "core/alloc.h"
#include "tools/datagen/gen_output.h"

enum { MAX_WAYPOINTS = 24, MAX_FEATURES = 24, MAX_CHECKPOINTS = 40 };

struct Waypoint {
    float x, z;
    float radius;      // of the corner rounded at this waypoint
    float bank;        // rise per foot toward the outside of the corner; negative: off-camber
};

enum FeatureKind { FEATURE_TABLETOP, FEATURE_DOUBLE, FEATURE_WHOOPS, FEATURE_RHYTHM, FEATURE_SAND };

struct Feature {
    int kind;
    int leg;           // the straight after waypoint leg
    float offset;      // where it starts, feet into that straight
    float speed;       // designed take-off speed (jumps), or the speed bumps are built for, ft/s
    float height;      // face or bump height
    float face_angle;  // radians
    int count;         // bumps of whoops and rhythm sections
    float spacing;     // between bumps; a sandy stretch's length
};

// The rules the designs keep.
// Over the crest of a cosine bump h high and L long a bike at v feels
// v^2 (h/2) (2 pi / L)^2 of lift; at g it leaves the ground. Whoops and
// rhythm sections are built, and the lines ride them, below
// BUMP_LOAD_LIMIT g.
constexpr float GRAVITY_FT = 32.0f;
constexpr float BUMP_LOAD_LIMIT = 0.7f;
// The back of a double's take-off and the front of its landing drop no
// steeper than this, so a bike too slow to clear the gap rolls through.
constexpr float JUMP_BACK_ANGLE = 0.4363323f;   // 25 degrees
// Room to settle between the end of a bump section or of a jump's landing
// and the next jump face.
constexpr float SETTLE_BEFORE_FACE = 90.0f;
// Past the gate, the room for the pack to string out before the first
// jump face and before the first turn.
constexpr float START_CLEAR = 240.0f;


struct TrackDesign {
    const char *folder;        // "tracks/cinder_hollow"
    const char *long_name;
    int grid_exponent;
    float cell;
    uint32_t seed;
    int waypoint_count;
    Waypoint waypoints[MAX_WAYPOINTS];
    int feature_count;
    Feature features[MAX_FEATURES];
    float width;               // track width
    float start_width;         // at the gate
    int gate_leg;              // the straight of the gate
    float gate_offset;         // feet into it
    int gate_pieces;
    float gate_spacing;        // between pieces
    float checkpoint_spacing;  // wanted distance between checkpoints
    float ground_relief;       // height of the rolling ground near the track
    float border_hills;        // height of the hills toward the borders
    int trees;
    int corner_flaggers;
};

extern const TrackDesign DEFAULT_TRACK;   // the track the game starts on
extern const TrackDesign FIXTURE_TRACK;   // the small loop of later tests

// A point of the built centreline, every CENTRELINE_STEP feet.
struct CentrePoint {
    float x, z;
    float dx, dz;          // unit direction of travel
    float s;               // distance along the loop
    float curvature;       // 1/R, positive turning toward +x x +z (left of travel when z grows)
    float width;
    float bank;            // rise per foot toward the left (a berm rises to the outside)
    float base;            // ground height under the line, smoothed
    float profile;         // jump and bump height above the base
    int leg;               // the straight (or the corner at its start) it belongs to
    int corner;            // 1 on a rounded corner
    int sand;              // 1 in a sandy stretch
    int feature;           // index of the jump or bump section it lies on, or -1
};
constexpr float CENTRELINE_STEP = 1.0f;

struct Checkpoint {
    float x, z, dx, dz;    // centre and crossing direction
    float radius;
    float s;
};

struct TrackModel {
    const TrackDesign *design;
    int side;              // samples per row: 2^(N+1) + 1
    float extent;
    int count;             // centreline points
    CentrePoint *points;   // owned
    float length;
    float leg_start[MAX_WAYPOINTS];   // s where each straight begins
    float leg_end[MAX_WAYPOINTS];
    float gate_s;
    int checkpoint_count;
    Checkpoint checkpoints[MAX_CHECKPOINTS];
    float *heights;        // side * side, owned (quantised as the game reads them)
    float min_height, max_height;
    uint8_t *tile_map;     // P * P, owned
    uint8_t *light;        // side * side, 255 lit, owned
};

// Builds the centreline, its profile and the checkpoints (the model's
// design, extent and side set).
int build_track_centreline(TrackModel *track);
// Builds the centreline, then the terrain, the tile map and the light.
int build_track_model(TrackModel *track, const TrackDesign *design);
void free_track_model(TrackModel *track);

// The centreline point nearest to (x, z) among those within reach, with
// the lateral offset (positive to the left of travel); -1 when none.
int nearest_centre_point(const TrackModel *track, float x, float z, float reach, float *lateral);
// The surface height of the designed track at a centreline point and a
// lateral offset (inside the width).
float track_surface_height(const TrackModel *track, int index, float lateral);
// Ground height before the track is cut in.
float natural_ground(const TrackModel *track, float x, float z);
// Height of the terrain as built, sampled as the game samples it.
float track_model_height(const TrackModel *track, float x, float z);
// Where feature f begins and ends along the loop.
void feature_span(const TrackModel *track, int f, float *s0, float *s1);
// The speed at which the crests of a whoops or rhythm section throw a
// bike (launch speed), and the fastest it is ridden at (BUMP_LOAD_LIMIT
// of the lift).
float bump_launch_speed(const Feature *f);
float bump_speed_limit(const Feature *f);
// 1 when the built centreline keeps every rule above; else the first rule
// broken, in words, in why.
int check_track_design(const TrackModel *track, char *why, int size);

// Writes every file of the track into the set (and racing-line-less).
int write_track_files(DataSet *set, TrackModel *track);
