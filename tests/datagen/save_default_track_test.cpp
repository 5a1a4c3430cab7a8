// The editor's Save all of the generated default track with the disk
// filling up: the child process that saves may not grow a file past a
// limit, or a rename fails part way; every track file stays as it was, the
// track still loads, the editor says it failed and keeps the unsaved bit.
// Without a limit a save loads back as the same track. (Here beside the
// other tests of the generated data: the whole track takes a while to load
// and save under the sanitizers.)
#include "app/default_data.h"
#include "core/message.h"
#include "core/replace_file.h"
#include "datagen/gamedata_fixture.h"
#include "editor/editor.h"
#include "render/render_settings.h"
#include "support/test_support.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Both absent, or both there with the same bytes (read in blocks: the
// height and shading files are megabytes).
bool same_file(const std::string &a, const std::string &b)
{
    FILE *fa = fopen(a.c_str(), "rb"), *fb = fopen(b.c_str(), "rb");
    bool same = !fa && !fb;
    if (fa && fb) {
        static char block_a[1 << 16], block_b[1 << 16];
        for (;;) {
            size_t na = fread(block_a, 1, sizeof block_a, fa), nb = fread(block_b, 1, sizeof block_b, fb);
            if (na != nb || memcmp(block_a, block_b, na) != 0)
                break;
            if (na < sizeof block_a) {
                same = !ferror(fa) && !ferror(fb);
                break;
            }
        }
    }
    if (fa)
        fclose(fa);
    if (fb)
        fclose(fb);
    return same;
}

const char *const TRACK_FILES[] = {"billboards",    "timing_gates", "terrain.hf", "terrain.png", "shading.ppm",
                                   "shadingx2.ppm", "tilemap",      "decals",     "statues",     "edinfo"};

struct LoadedTrack {
    std::vector<float> heights;
    std::vector<uint8_t> tile_map;
    std::vector<uint8_t> shading;
    std::vector<float> statues; // x, z, yaw of each
};

class SaveAllDefaultTrack : public testing::Test {
protected:
    void SetUp() override
    {
        if (gamedata_dir().empty())
            GTEST_SKIP() << "RUTLINE_GAMEDATA is not set";
        use_game_data(gamedata_dir() + "/data");
        editor_on = 1;
        // Small placeholder ground textures: the files do not depend on them.
        ground_texture_size_setting = 32;
        ASSERT_TRUE(scan_track_catalogue());
        set_track_folder(DEFAULT_TRACK_FOLDER);
        load();
    }
    void TearDown() override
    {
        replace_rename = rename;
        free_track();
        free_track_catalogue();
        set_track_folder(nullptr);
        editor_on = 0;
    }
    void load()
    {
        free_track();
        ASSERT_EQ(load_track(), 1);
        ASSERT_NE(editor_state, nullptr);
    }
    Terrain *terrain() { return editor_state->terrain; }

    std::string home_file(const char *name) { return test_home_dir() + DEFAULT_TRACK_FOLDER + "/" + name; }
    std::string kept_file(const char *name) { return test_dir() + "/kept/" + name; }
    // Keeps a copy of the home copies the save writes (absent ones stay
    // absent); returns the size of the biggest.
    size_t keep_home_files()
    {
        size_t biggest = 0;
        for (const char *name : TRACK_FILES) {
            remove(kept_file(name).c_str());
            std::string bytes;
            if (read_file(home_file(name), &bytes)) {
                EXPECT_TRUE(write_file(kept_file(name), bytes)) << name;
                biggest = std::max(biggest, bytes.size());
            }
        }
        return biggest;
    }
    // Every home copy is as kept: the same bytes, or absent as it was.
    void expect_home_files_kept(const std::string &when)
    {
        for (const char *name : TRACK_FILES)
            EXPECT_TRUE(same_file(home_file(name), kept_file(name))) << when << ": " << name;
    }
    std::vector<std::string> leftovers()
    {
        std::vector<std::string> found = files_ending_in(test_home_dir(), REPLACE_TEMP_SUFFIX);
        for (const std::string &name : files_ending_in(test_home_dir(), REPLACE_BACKUP_SUFFIX))
            found.push_back(name);
        return found;
    }
    LoadedTrack snapshot()
    {
        LoadedTrack t;
        Terrain *g = terrain();
        size_t samples = (size_t)g->side * g->side;
        t.heights.assign(g->heights, g->heights + samples);
        int tiles = terrain_tile_side(g);
        t.tile_map.assign(g->tile_map, g->tile_map + (size_t)tiles * tiles);
        t.shading.assign(g->shading, g->shading + samples * 3);
        for (int i = statue_file_start; i < statue_table.count; i++) {
            const Statue *s = get_statue(i);
            t.statues.insert(t.statues.end(), {s->x, s->z, s->yaw});
        }
        return t;
    }
    // Raises a patch of the ground and moves the first statue: a save
    // changes the height files, the shading and the statues.
    void edit()
    {
        Terrain *g = terrain();
        for (int row = 40; row < 60; row++)
            for (int column = 40; column < 60; column++)
                g->heights[row * g->side + column] += 3.0f;
        g->shading[0] ^= 0x40;
        if (statue_table.count > statue_file_start)
            get_statue(statue_file_start)->x += 2.0f;
        g->change_state = 7;
    }
    // Save all as the editor runs it, in a child process under the limit;
    // the status and the unsaved bit must agree with the result.
    int save_in_child(long limit)
    {
        return run_with_file_limit(limit, [] {
            int saved = save_all_track_files();
            int unsaved = (editor_state->terrain->change_state & 2) != 0;
            int says_saved = !strcmp(editor_state->status, "Saved!");
            if (saved)
                return !unsaved && says_saved ? 1 : 2;
            return unsaved && !says_saved ? 0 : 3;
        });
    }
};

void expect_same_track(const LoadedTrack &a, const LoadedTrack &b, float height_tolerance)
{
    ASSERT_EQ(a.heights.size(), b.heights.size());
    size_t differing = 0;
    for (size_t i = 0; i < a.heights.size(); i++)
        if (std::fabs(a.heights[i] - b.heights[i]) > height_tolerance)
            differing++;
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(a.tile_map, b.tile_map);
    EXPECT_EQ(a.shading, b.shading);
    ASSERT_EQ(a.statues.size(), b.statues.size());
    for (size_t i = 0; i < a.statues.size(); i++)
        EXPECT_NEAR(a.statues[i], b.statues[i], 1e-4f) << i;
}

int rename_calls;
int failing_call;
int rename_failing_once(const char *from, const char *to)
{
    if (++rename_calls == failing_call) {
        errno = EIO;
        return -1;
    }
    return rename(from, to);
}

TEST_F(SaveAllDefaultTrack, AFullDiskLosesNothingAndWhatIsSavedLoadsBack)
{
    // The first save: the home folder holds no copy yet, and a failed save
    // leaves none (the track goes on loading from the game data).
    ASSERT_EQ(keep_home_files(), 0u);
    edit();
    EXPECT_EQ(save_in_child(300), 0);
    expect_home_files_kept("the first save");
    EXPECT_TRUE(leftovers().empty());

    // A whole save. The save brings the shading of edited cells up to date
    // before writing it, so the snapshot is taken after it.
    float range = terrain()->max_height - terrain()->min_height;
    ASSERT_EQ(save_all_track_files(), 1);
    EXPECT_STREQ(editor_state->status, "Saved!");
    EXPECT_EQ(terrain()->change_state & 2, 0);
    LoadedTrack saved_track = snapshot();
    size_t full = keep_home_files();
    ASSERT_GT(full, 65536u);

    edit();
    for (long limit : {300L, 65536L, (long)full - 1}) {
        std::string when = "limit " + std::to_string(limit);
        EXPECT_EQ(save_in_child(limit), 0) << when;
        expect_home_files_kept(when);
        EXPECT_TRUE(leftovers().empty()) << when;
    }
    // A rename that fails after others worked: those are put back.
    replace_rename = rename_failing_once;
    for (int n : {1, 6}) {
        std::string when = "rename " + std::to_string(n) + " fails";
        rename_calls = 0;
        failing_call = n;
        EXPECT_EQ(save_all_track_files(), 0) << when;
        EXPECT_STRNE(editor_state->status, "Saved!") << when;
        EXPECT_EQ(terrain()->change_state & 2, 2) << when;
        expect_home_files_kept(when);
        EXPECT_TRUE(leftovers().empty()) << when;
    }
    replace_rename = rename;

    // The files on the disk load as the track that was saved; heights pass
    // through 16 bits between the lowest and the highest point.
    load();
    float span = std::max(range, terrain()->max_height - terrain()->min_height);
    expect_same_track(snapshot(), saved_track, span / 65535.0f * 1.01f);
}

} // namespace
