// The game-data generator: writes the whole data set of the game (tracks,
// models, skins, shapes, fonts, pictures, engine sounds, racing lines),
// loose and as one ".saf" archive, with its manifest.
//
//   datagen --output FOLDER [--lines all|fixture|none] [--jobs N]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/datagen/datagen.h"

static int usage(void)
{
    fprintf(stderr, "usage: datagen --output FOLDER [--lines all|fixture|none] [--jobs N]\n");
    return 1;
}

int main(int argc, char **argv)
{
    DatagenOptions options;
    default_datagen_options(&options);
    for (int i = 1; i < argc; i++) {
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!strcmp(argv[i], "--output") && value) {
            options.output = value;
        } else if (!strcmp(argv[i], "--lines") && value) {
            if (!strcmp(value, "all"))
                options.lines = LINES_ALL;
            else if (!strcmp(value, "fixture"))
                options.lines = LINES_FIXTURE;
            else if (!strcmp(value, "none"))
                options.lines = LINES_NONE;
            else
                return usage();
        } else if (!strcmp(argv[i], "--jobs") && value) {
            options.jobs = atoi(value);
        } else {
            return usage();
        }
        i++;
    }
    if (!options.output)
        return usage();
    return run_datagen(&options) ? 0 : 1;
}
