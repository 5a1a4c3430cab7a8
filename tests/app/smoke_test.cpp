// The real program under the sanitizers: a race on the generated default
// track recorded through the readback driver until SIGTERM, then the log's
// start-up and shutdown steps in order, the settings file, the sound and
// no live block left; and the ways it refuses to start.
#include "datagen/gamedata_fixture.h"
#include "program_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum { TICS_WANTED = 256, BYTES_PER_TIC = 1380, WAIT_SECONDS = 90 };

}  // namespace

TEST(Smoke, ARaceRecordsItsSoundAndShutsDownInOrderOnSigterm)
{
    if (gamedata_dir().empty() || !RUTLINE_BINARY[0])
        GTEST_SKIP() << "no generated data or program";
    std::string audio = test_dir() + "/race_audio.raw";
    Child child = start_program("race", gamedata_dir() + "/data",
                                {"--track", "tracks/cinder_hollow", "--lock-fps", "32", "--record-audio", audio});
    long wanted = (long)TICS_WANTED * BYTES_PER_TIC;
    for (int i = 0; i < WAIT_SECONDS * 10 && file_size(audio) < wanted; i++) {
        int status;
        ASSERT_NE(waitpid(child.pid, &status, WNOHANG), child.pid) << "the program ended early";
        usleep(100000);
    }
    ASSERT_GE(file_size(audio), wanted);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(wait_exit_status(child.pid, 60), 0);

    std::string home = test_dir() + "/race_xdg/Rutline/";
    std::vector<std::string> lines = log_lines(home + "lastlog.txt");
    expect_in_order(lines, {"Rutline version 2020-07-12-1524 snapshot", "File index complete", "GL_VENDOR: ",
                            "GL_RENDERER: ", "GL_VERSION: ", "GL_EXTENSIONS: ", "Resetting", "Loading bikes",
                            "Max loading delay was ", "Deallocating bikes", "Finished deallocating bikes",
                            "Freeing memory (1)", "Closing input devices", "Closing audio",
                            "Writing config files", "Freeing memory (2)", "Freeing memory (3)",
                            "Freeing file list", "Freeing memory (4)", "Deleting textures", "Deleting models",
                            "Deleting OpenGL context"});
    std::string config;
    ASSERT_TRUE(read_file(home + "config", &config));
    EXPECT_NE(config.find("track=tracks/cinder_hollow\n"), std::string::npos);

    // The robot's engine: the recording is not silence.
    std::string sound;
    ASSERT_TRUE(read_file(audio, &sound));
    EXPECT_EQ(sound.size() % BYTES_PER_TIC, 0u);
    long loud = 0;
    for (unsigned char byte : sound)
        loud += byte != 128;   // 128 is silence
    EXPECT_GT(loud, (long)sound.size() / 100);

    // The allocation checker lists every block still live on standard error.
    std::string errors;
    read_file(child.errors_path, &errors);
    EXPECT_EQ(errors.find("0x"), std::string::npos) << errors.substr(0, 2000);
}

TEST(Smoke, RefusalsEndWithCodeOne)
{
    if (!RUTLINE_BINARY[0])
        GTEST_SKIP() << "no program";
    std::string empty = test_dir() + "/no_tracks";
    mkdir(empty.c_str(), 0755);
    struct Case {
        const char *name;
        std::string data;
        std::vector<std::string> words;
        std::string message;
    } cases[] = {
        {"empty", empty, {}, "No tracks found\n"},
        {"badoption", empty, {"--lock-fps", "30", "-x"}, "bad option '-x'\n"},
        {"lastvalue", empty, {"--lock-fps"}, "Bad arg for --lock-fps\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Child child = start_program(c.name, c.data, c.words);
        EXPECT_EQ(wait_exit_status(child.pid, 60), 1);
        std::string errors;
        read_file(child.errors_path, &errors);
        EXPECT_EQ(errors.rfind(c.message, 0), 0u) << errors.substr(0, 2000);
        EXPECT_EQ(errors.find("0x"), std::string::npos);
    }
}
