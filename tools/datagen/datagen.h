// The game-data generator as a library: one call writes the whole data set
// into an output folder; the tests call it (and its parts) directly.
#pragma once

enum DatagenLines {
    LINES_NONE,      // no racing lines
    LINES_FIXTURE,   // the fixture track's lines only
    LINES_ALL,       // every track's lines
};

struct DatagenOptions {
    const char *output;   // the output folder (an earlier output in it is replaced)
    int lines;            // DatagenLines
    int jobs;             // processes riding racing lines at once
};

void default_datagen_options(DatagenOptions *options);

// Writes, under the output folder: "data/" (the game data, loose),
// "packed/rutline.saf" (the same files in one archive), "fixtures/" (test
// tracks that are not shipped) and "manifest.txt". 1 on success.
int run_datagen(const DatagenOptions *options);

// The folders under the output.
extern const char *const DATAGEN_DATA_FOLDER;       // "data"
extern const char *const DATAGEN_FIXTURE_FOLDER;    // "fixtures"
extern const char *const DATAGEN_ARCHIVE;           // "packed/rutline.saf"
extern const char *const DATAGEN_MANIFEST;          // "manifest.txt"
