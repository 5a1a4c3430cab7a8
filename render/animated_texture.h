// Animated textures: ANIM1 image sequences (".seq") uploaded as one texture
// whose picture animate_textures replaces frame by frame, and the custom
// frames that track scripts paste together from a sequence's images.
#pragma once

#include <cstdint>

#include "core/alloc.h"
#include "render/image.h"

struct GameFile;

enum { ANIMATION_FRAME_PIXEL_LIMIT = 65536 };

// Bounds of a sequence file, checked before anything is allocated.
enum {
    SEQUENCE_MAX_FRAMES = 1 << 16,
    SEQUENCE_MAX_IMAGES = 1024,
};

struct AnimatedTexture {
    int id;               // the GL texture, and the key of every operation
    int frame_count;      // at least 1
    int image_count;      // at least 1
    int current_image;    // the image the texture holds now
    int frame_time;       // tics per frame, at least 1
    int loop;
    int start_time;       // tic of frame 0
    int stopped;
    ImageLevel *images;   // image_count, one size and channel count
    uint8_t *custom_frame;   // null, or a chain buffer of the images' size
    int *frame_list;      // frame_count image indices
};

extern GrowableArray animated_texture_table;   // AnimatedTexture *
extern long animation_frame_uploads;           // pictures replaced, for the statistics

// Reads a sequence from the open file (after its word), uploads the first
// frame's image and adds the animation; the texture id, or 0.
int load_texture_sequence(GameFile *file, int flags);
AnimatedTexture *find_animation(int texture);
// Removes the animations whose texture is no longer cached.
void free_stale_animations(void);

void animate_textures(int time);
int start_texture_animation(int texture, int start_time);
void stop_texture_animation(int texture);
int begin_custom_texture_frame(int texture);
int paste_custom_texture_frame(int texture, int image, float source_x, float source_y, float destination_x,
                               float destination_y, float width, float height);
int end_custom_texture_frame(int texture);
