// Loading ahead: PNG textures and models that a step is about to load are
// decoded and parsed side by side on the work pool first. load_texture and
// load_model then take them instead of reading their files, and upload,
// compile and print their messages on the GL thread as they always did,
// so what is loaded is the same either way. What is not taken is dropped.
#pragma once

#include <cstdint>

struct Model;

// 1: run_load_ahead works; 0: asking is ignored (to compare the two).
extern int load_ahead_enabled;

// Names to load ahead; ones already cached or already asked are passed over.
void ask_texture_ahead(const char *name);
void ask_model_ahead(const char *name);
// Decodes and parses what was asked, on the work pool; returns when done.
void run_load_ahead(void);
// Frees whatever was loaded ahead and not taken, and forgets the names.
void drop_loaded_ahead(void);
// The number of textures and models waiting to be taken.
int count_loaded_ahead(void);
// Textures and models taken from loading ahead since the program started.
extern int load_ahead_taken;

// For load_texture: 1 when the name's PNG was decoded ahead, with the
// result as load_png_texture_image gives it in *decoded and the rest
// (the caller owns the pixels and info); 0 when it was not.
int take_texture_ahead(const char *name, int *decoded, uint8_t **pixels, int *width, int *height,
                       int *channels, char **info);
// For load_model: 1 when the name was parsed ahead, with the finished model
// (levels, lists; null when the parse failed) in *model; 0 when it was not.
int take_model_ahead(const char *name, Model **model);
