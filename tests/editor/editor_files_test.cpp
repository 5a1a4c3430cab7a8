// Save all (every file or none, nothing lost on the way), the undo seen in
// the saved files, and the scene export with hostile names.
#include "editor_fixture.h"

#include "support/render_fixtures.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

class EditorFiles : public EditorTrack {
protected:
    std::map<std::string, std::string> saved()
    {
        std::map<std::string, std::string> files;
        for (const std::string &name : saved_file_names())
            files[name] = home_file(name.c_str());
        return files;
    }
    std::vector<std::string> leftovers()
    {
        std::vector<std::string> found;
        std::error_code error;
        for (const auto &entry : std::filesystem::directory_iterator(test_home_dir() + fixture.folder, error))
            if (entry.path().extension() == ".tmp")
                found.push_back(entry.path().filename());
        return found;
    }
};

TEST_F(EditorFiles, SaveLoadSaveKeepsEveryByte)
{
    load();
    // Loaded names stay as read: a statue whose model is missing and a
    // tinted billboard whose texture is missing.
    ASSERT_EQ(statue_table.count - statue_file_start, 2);
    ASSERT_EQ(billboard_table.count - billboard_file_start, 2);
    terrain()->change_state = 7;
    ASSERT_EQ(save_all_track_files(), 1);
    EXPECT_STREQ(state()->status, "Saved!");
    EXPECT_EQ(terrain()->change_state & 2, 0);
    std::map<std::string, std::string> first = saved();
    EXPECT_EQ(first["statues"], statues);
    EXPECT_EQ(first["billboards"], billboards);
    EXPECT_EQ(first["timing_gates"], timing);
    for (const auto &[name, bytes] : first)
        EXPECT_FALSE(bytes.empty() && name != "edinfo") << name;
    EXPECT_TRUE(leftovers().empty());
    load();
    ASSERT_EQ(save_all_track_files(), 1);
    EXPECT_EQ(saved(), first);
}

TEST_F(EditorFiles, UnacceptedTimingGatesAreNotRewritten)
{
    timing = "checkpoints:\n10 [1 0 1] [1 0 0]\nfirstlap:\n0 0\nnormallap:\n0 0\n";
    write_track();
    load();
    ASSERT_EQ(timing_gates_accepted, 0);
    ASSERT_EQ(save_all_track_files(), 1);
    EXPECT_FALSE(file_exists(test_home_dir() + fixture.folder + "/timing_gates"));
    std::string original;
    read_file(track_dir(fixture.folder) + "timing_gates", &original);
    EXPECT_EQ(original, timing);
}

TEST_F(EditorFiles, AFailedSaveKeepsEveryOldFile)
{
    load();
    ASSERT_EQ(save_all_track_files(), 1);
    std::map<std::string, std::string> before = saved();
    // Edits of the heights, an object and the gradients.
    state()->tool = TOOL_RAISE;
    stroke(200, 200);
    get_statue(statue_file_start)->x = 120.0f;
    editor_new_gradient();
    ASSERT_EQ(terrain()->change_state & 2, 2);
    struct Case {
        const char *blocked;
        const char *status;
    } cases[] = {
        {"billboards.tmp", "Can't open 'billboards'"},
        {"terrain.png.tmp", "Can't open 'terrain.png'"},
        {"statues.tmp", "Can't open 'statues'"},
        {"edinfo.tmp", "Can't open 'edinfo'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.blocked);
        // A folder stands where the temporary goes.
        std::string blocked = test_home_dir() + fixture.folder + "/" + c.blocked;
        ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);
        EXPECT_EQ(save_all_track_files(), 0);
        EXPECT_STREQ(state()->status, c.status);
        EXPECT_EQ(terrain()->change_state & 2, 2);
        EXPECT_EQ(saved(), before);
        std::filesystem::remove_all(blocked);
        EXPECT_TRUE(leftovers().empty());
    }
    // Unblocked, the edits are saved.
    EXPECT_EQ(save_all_track_files(), 1);
    EXPECT_NE(saved(), before);
}

TEST_F(EditorFiles, OnlyACatalogueTrackIsWritten)
{
    load();
    free_track_catalogue();
    EXPECT_EQ(save_all_track_files(), 0);
    EXPECT_FALSE(file_exists(test_home_dir() + fixture.folder + "/statues"));
}

TEST_F(EditorFiles, StrokeUndoSaveEqualsTheSaveBefore)
{
    load();
    ASSERT_EQ(save_all_track_files(), 1);
    std::map<std::string, std::string> before = saved();
    state()->tool = TOOL_RAISE;
    stroke(200, 200, 40);
    undo_height_edit();
    ASSERT_STREQ(state()->status, "Undo!");
    ASSERT_EQ(save_all_track_files(), 1);
    EXPECT_EQ(saved(), before);
}

TEST(PovNames, IdentifiersAndSceneStrings)
{
    struct IdCase {
        const char *name;
        const char *identifier;
    } ids[] = {
        {"@models/big-rock.jm", "_big_rock"}, {"9x.png", "_9x"},   {"a.b.c", "a_b"},  {"", ""},
        {"dir/9a", "_9a"},                    {"@", ""},          {"\"#\\.x", "___"}, {"plain", "plain"},
    };
    std::string path = test_data_dir() + "ids.txt";
    for (const IdCase &c : ids) {
        GameFile *file = file_open(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        pov_identifier(file, c.name);
        file_close(file);
        std::string text;
        read_file(path, &text);
        EXPECT_EQ(text, c.identifier) << c.name;
    }
    struct TextureCase {
        const char *name;
        const char *clean;   // null: left out
    } textures[] = {
        {"@tex/a-b_c.png", "tex/a-b_c.png"}, {"a\\b.ppm", "a/b.ppm"}, {"a\"b.png", nullptr}, {"a#b.png", nullptr},
        {"a\x01" "b.png", nullptr},          {"a b.png", nullptr},     {"@@x.png", nullptr},  {"", ""},
    };
    for (const TextureCase &c : textures) {
        char out[64];
        int safe = pov_safe_texture_name(c.name, out, sizeof out);
        EXPECT_EQ(safe, c.clean != nullptr) << c.name;
        if (c.clean && safe) {
            EXPECT_STREQ(out, c.clean);
        }
    }
}

TEST_F(EditorFiles, ExportWithoutStatuesWritesBillboardsAndGround)
{
    statues = "";
    write_track();
    load();
    ASSERT_EQ(editor_key('p', 1), 1);
    EXPECT_STREQ(state()->status, "Pov!");
    char ground[256];
    snprintf(ground, sizeof ground, "\tscale <512.000000,%f,512.000000>\n\ttranslate <0,%f,0>\n}\n",
             terrain()->max_height - terrain()->min_height, terrain()->min_height);
    EXPECT_EQ(home_file("track.pov"), std::string("#declare billboards = union {\n}\n"
                                                  "#declare ground = height_field {\n\tpng \"terrain.png\"\n"
                                                  "\tscale <1, 1, -1>\n\ttranslate <0, 0, 1>\n") +
                                          ground);
    // A folder where the scene goes: the status says so.
    std::filesystem::remove(test_home_dir() + fixture.folder + "/track.pov");
    ASSERT_EQ(mkdir((test_home_dir() + fixture.folder + "/track.pov").c_str(), 0755), 0);
    EXPECT_EQ(export_pov_scene(), 0);
    EXPECT_STREQ(state()->status, "Can't open 'track.pov'");
}

TEST_F(EditorFiles, ExportDeclaresEachModelOnceAndClosesEveryString)
{
    GameWindow *window = open_test_gl_window();
    ASSERT_NE(window, nullptr);
    write_game_asset("@edit/rock.jm");
    write_game_asset("@edit/rock.png");
    write_game_asset("@edit/q\"#.png");
    statues = "[100.000000 0.000000 200.000000] 0.000000 @edit/rock.jm @edit/rock.png null\n"
              "[150.000000 0.000000 200.000000] 1.000000 @edit/rock.jm @edit/q\"#.png null\n"
              "[150.000000 0.000000 250.000000] 1.000000 @edit/missing.jm @edit/rock.png null\n";
    write_track();
    load();
    ASSERT_EQ(export_pov_scene(), 1);
    std::string scene = home_file("track.pov");
    free_track();
    close_test_gl_window(window);
    size_t declared = 0, objects = 0;
    for (size_t at = 0; (at = scene.find("#declare _rock = ", at)) != std::string::npos; at++)
        declared++;
    for (size_t at = 0; (at = scene.find("\tobject {\n\t\t_rock\n", at)) != std::string::npos; at++)
        objects++;
    EXPECT_EQ(declared, 1u);
    EXPECT_EQ(objects, 2u);
    EXPECT_NE(scene.find("image_map { png \"edit/rock.png\"} }"), std::string::npos);
    EXPECT_EQ(scene.find("q\""), std::string::npos);
    EXPECT_NE(scene.find("#declare statues = union {\n"), std::string::npos);
    // Every line holds an even number of quotes.
    size_t start = 0;
    while (start < scene.size()) {
        size_t end = scene.find('\n', start);
        std::string line = scene.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), '"') % 2, 0) << line;
        start = end == std::string::npos ? scene.size() : end + 1;
    }
}

} // namespace
