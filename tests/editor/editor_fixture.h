// The editor's test track: a small flat track folder under the game data
// with statues, billboards and timing gates, loaded with the editor on, a
// window of 512 x 512 pixels at Zoom 1 (half a foot per pixel, the map
// centre in the window's centre) and the cursor placed on map points.
#pragma once

#include "app/widgets.h"
#include "bike/shape.h"
#include "core/file.h"
#include "core/message.h"
#include "editor/editor.h"
#include "render/overlay.h"
#include "support/test_support.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"
#include "track/track.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

inline const char EDITOR_TRACK[] = "tracks/edit";

// Four checkpoints around the middle and lap lists of four timing gates.
inline const char EDITOR_TIMING[] = "checkpoints:\n"
                                    "10.000000 [100.000000 0.000000 100.000000] [1.000000 0.000000 0.000000]\n"
                                    "10.000000 [400.000000 0.000000 100.000000] [0.000000 0.000000 1.000000]\n"
                                    "10.000000 [400.000000 0.000000 400.000000] [-1.000000 0.000000 0.000000]\n"
                                    "10.000000 [100.000000 0.000000 400.000000] [0.000000 0.000000 -1.000000]\n"
                                    "firstlap:\n0 1 2 3 \nnormallap:\n0 1 2 3 \n";

class EditorTrack : public testing::Test {
protected:
    TrackFixture fixture;
    std::string timing = EDITOR_TIMING;
    std::string statues = "[100.000000 0.000000 200.000000] 0.000000 @edit/rock.jm @edit/rock.png null\n"
                          "[150.000000 0.000000 200.000000] 1.000000 @edit/missing.jm @edit/rock.png null\n";
    std::string billboards = "[200.000000 0.000000 300.000000] 2.000000 3.000000 @edit/tree.png\n"
                             "[210.000000 0.000000 300.000000] 2.000000 3.000000 #ff8000#@edit/missing.png\n";
    std::string edinfo;

    void SetUp() override
    {
        fixture.folder = EDITOR_TRACK;
        fixture.sample = [](int, int) { return 0; };
        write_track();
        window_width = window_height = 512;
        zoom_slider.value = 1.0;
        strength_slider.value = 3.0;
        radius_slider.value = 8.0;
        focus_slider.value = 0.5;
        submode_list.selected = SUBMODE_ASSIGN;
        mouse_held = 0;
        // Codes of their own for the mouse and arrow keys (no window opened them).
        menu_keys.cursor_left = 1000;
        menu_keys.cursor_right = 1001;
        menu_keys.left = 1002;
        menu_keys.right = 1003;
        menu_keys.up = 1004;
        menu_keys.down = 1005;
        editor_on = 1;
    }
    void TearDown() override
    {
        free_track();
        free_shape_cache();
        free_track_catalogue();
        set_track_folder(nullptr);
        editor_on = 0;
    }
    void write_track()
    {
        fixture.write();
        std::string dir = track_dir(fixture.folder);
        write_file(dir + "desc", "Edit Track\n");
        write_file(dir + "timing_gates", timing);
        write_file(dir + "statues", statues);
        write_file(dir + "billboards", billboards);
        if (!edinfo.empty())
            write_file(dir + "edinfo", edinfo);
    }
    void load()
    {
        free_track();
        ASSERT_TRUE(scan_track_catalogue());
        set_track_folder(fixture.folder.c_str());
        ASSERT_EQ(load_track(), 1);
        ASSERT_NE(editor_state, nullptr);
    }
    EditorState *state() { return editor_state; }
    Terrain *terrain() { return editor_state->terrain; }

    // The cursor on a map point (the view is centred on the map's middle).
    void point_at(float x, float z)
    {
        float u = editor_units_per_pixel();
        cursor_x = (int)lroundf((x - state()->centre_x) / u) + window_width / 2;
        cursor_y = (int)lroundf((z - state()->centre_z) / u) + window_height / 2;
    }
    // A press at a map point, n tool steps, then the release.
    void stroke(float x, float z, int steps = 1)
    {
        point_at(x, z);
        mouse_held = 1;
        editor_key(menu_keys.cursor_left, 1);
        for (int i = 0; i < steps; i++)
            apply_editor_tool();
        mouse_held = 0;
        editor_key(menu_keys.cursor_left, 0);
    }
    float height(int column, int row) { return terrain()->heights[row * terrain()->side + column]; }
    std::string home_file(const char *name)
    {
        std::string bytes;
        read_file(test_home_dir() + fixture.folder + "/" + name, &bytes);
        return bytes;
    }
};

// The files a save writes, by name.
inline const std::vector<std::string> &saved_file_names()
{
    static const std::vector<std::string> names = {"billboards", "timing_gates", "terrain.hf", "terrain.png",
                                                    "shading.ppm", "shadingx2.ppm", "tilemap",  "statues",
                                                    "edinfo"};
    return names;
}
