// ANIM1 image sequences: reading the header, frame list and images, the
// per-frame replacement of the texture's picture, and the custom frames
// pasted together by track scripts.
#include "render/animated_texture.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/file.h"
#include "core/message.h"
#include "render/gl_extensions.h"
#include "render/render_settings.h"
#include "render/texture.h"

GrowableArray animated_texture_table;
long animation_frame_uploads;

static AnimatedTexture **animations(void)
{
    return (AnimatedTexture **)animated_texture_table.data;
}

AnimatedTexture *find_animation(int texture)
{
    if (texture == 0)
        return nullptr;
    for (int i = 0; i < animated_texture_table.count; i++)
        if (animations()[i]->id == texture)
            return animations()[i];
    return nullptr;
}

static void free_animation(AnimatedTexture *animation)
{
    for (int i = 0; i < animation->image_count; i++)
        checked_free(animation->images[i].pixels);
    checked_free(animation->custom_frame);
    checked_free(animation);
}

static void say(const char *text)
{
    print_message(text);
}

// Reads image number index of the sequence into level; 0 (after its message)
// on failure, -1 when the file ends before its word.
static int read_sequence_image(GameFile *file, int index, ImageLevel *level)
{
    char word[16];
    if (file_scanf(file, "%15s", word) != 1)
        return -1;
    char message[1000];
    if (!strcmp(word, "J7")) {
        if (!read_raw_image(word, file, &level->pixels, &level->width, &level->height, 4)) {
            snprintf(message, sizeof message, "Error reading .seq frame %d", index);
            say(message);
            return 0;
        }
        level->channels = 4;
    } else if (!strcmp(word, "PNG")) {
        char line[1026];
        if (!file_gets(file, line, sizeof line)) {
            say("EOF while reading .seq");
            return 0;
        }
        char *start = line;
        while (*start == ' ' || (*start >= '\t' && *start <= '\r'))
            start++;
        size_t length = strlen(start);
        while (length > 0 && (start[length - 1] == ' ' || (start[length - 1] >= '\t' && start[length - 1] <= '\r')))
            start[--length] = 0;
        if (!load_png_texture_image(start, &level->pixels, &level->width, &level->height, &level->channels,
                                    nullptr)) {
            snprintf(message, sizeof message, "Can't read %.900s", start);
            say(message);
            return 0;
        }
    } else {
        snprintf(message, sizeof message, "Error reading .seq frame %d", index);
        say(message);
        return 0;
    }
    reduce_image(&level->pixels, &level->width, &level->height, level->channels, ANIMATION_FRAME_PIXEL_LIMIT,
                 0);
    return 1;
}

int load_texture_sequence(GameFile *file, int flags)
{
    int frame_count, image_count, frame_time, loop;
    if (file_scanf(file, "%d %d %d %d", &frame_count, &image_count, &frame_time, &loop) != 4)
        return 0;
    if (frame_count < 1 || image_count < 1 || frame_time < 1 || frame_count > SEQUENCE_MAX_FRAMES ||
        image_count > SEQUENCE_MAX_IMAGES)
        return 0;
    size_t bytes = sizeof(AnimatedTexture) + sizeof(ImageLevel) * (size_t)image_count +
                   sizeof(int) * (size_t)frame_count;
    AnimatedTexture *animation = (AnimatedTexture *)checked_calloc(1, bytes);
    if (!animation)
        return 0;
    animation->images = (ImageLevel *)(animation + 1);
    animation->frame_list = (int *)(animation->images + image_count);
    animation->frame_count = frame_count;
    animation->frame_time = frame_time;
    animation->loop = loop;
    for (int i = 0; i < frame_count; i++) {
        int entry;
        if (file_scanf(file, "%d ", &entry) != 1 || entry < 0 || entry >= image_count) {
            free_animation(animation);
            return 0;
        }
        animation->frame_list[i] = entry;
    }
    for (int i = 0; i < image_count; i++) {
        ImageLevel *level = &animation->images[i];
        int read = read_sequence_image(file, i, level);
        animation->image_count = i + (read > 0);
        if (read <= 0) {
            free_animation(animation);
            return 0;
        }
        if (level->width != animation->images[0].width || level->height != animation->images[0].height) {
            say("Width/height mismatch reading .seq");
            free_animation(animation);
            return 0;
        }
        if (level->channels != animation->images[0].channels) {
            say("Depth mismatch reading .seq");
            free_animation(animation);
            return 0;
        }
    }
    animation->current_image = animation->frame_list[0];
    const ImageLevel *first = &animation->images[animation->current_image];
    animation->id = upload_texture(first->pixels, first->width, first->height, first->channels,
                                   flags & (TEXTURE_REPEAT_S | TEXTURE_REPEAT_T));
    AnimatedTexture **slot =
        animation->id ? (AnimatedTexture **)append_to_growable_array(&animated_texture_table) : nullptr;
    if (!slot) {
        delete_texture(animation->id);
        free_animation(animation);
        return 0;
    }
    *slot = animation;
    return animation->id;
}

void free_stale_animations(void)
{
    for (int i = animated_texture_table.count - 1; i >= 0; i--) {
        AnimatedTexture *animation = animations()[i];
        if (texture_is_cached(animation->id))
            continue;
        if (debug_level) {
            char message[100];
            snprintf(message, sizeof message, "deleting anim %d for tid %d", i, animation->id);
            print_message(message);
        }
        free_animation(animation);
        memmove(&animations()[i], &animations()[i + 1],
                sizeof(AnimatedTexture *) * (size_t)(animated_texture_table.count - 1 - i));
        animated_texture_table.count--;
    }
}

// Replaces the texture's levels with a picture and its chain; levels stop
// once a halved side would be 0.
static void replace_levels(const AnimatedTexture *animation, const uint8_t *pixels)
{
    if (!gl_ready())
        return;
    const ImageLevel *shape = &animation->images[0];
    GLenum format = shape->channels == 4 ? GL_RGBA : GL_RGB;
    int w = shape->width, h = shape->height;
    glBindTexture(GL_TEXTURE_2D, (GLuint)animation->id);
    for (int level = 0;; level++) {
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, format, GL_UNSIGNED_BYTE, pixels);
        if (w / 2 < 1 || h / 2 < 1)
            break;
        pixels += (size_t)w * h * shape->channels;
        w /= 2;
        h /= 2;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    animation_frame_uploads++;
}

void animate_textures(int time)
{
    if (time < 0)
        return;
    for (int i = 0; i < animated_texture_table.count; i++) {
        AnimatedTexture *animation = animations()[i];
        if (animation->stopped)
            continue;
        long long elapsed = (long long)time - animation->start_time;
        long long n = (elapsed > 0 ? elapsed : 0) / animation->frame_time;
        if (animation->loop)
            n %= animation->frame_count;
        else if (n > animation->frame_count - 1)
            n = animation->frame_count - 1;
        int image = animation->frame_list[n];
        if (image == animation->current_image)
            continue;
        replace_levels(animation, animation->images[image].pixels);
        animation->current_image = image;
    }
}

int start_texture_animation(int texture, int start_time)
{
    AnimatedTexture *animation = find_animation(texture);
    if (!animation)
        return 0;
    animation->stopped = 0;
    animation->start_time = start_time;
    return texture;
}

void stop_texture_animation(int texture)
{
    AnimatedTexture *animation = find_animation(texture);
    if (animation)
        animation->stopped = 1;
}

int begin_custom_texture_frame(int texture)
{
    AnimatedTexture *animation = find_animation(texture);
    if (!animation)
        return 0;
    const ImageLevel *shape = &animation->images[0];
    if (!animation->custom_frame) {
        animation->custom_frame =
            (uint8_t *)checked_malloc(mip_chain_bytes(shape->width, shape->height, shape->channels));
        if (!animation->custom_frame)
            return 0;
    }
    memset(animation->custom_frame, 0, (size_t)shape->width * shape->height * shape->channels);
    return 1;
}

// round(v) as the ceiling of v - 0.5, or 0 when v or the result leaves the
// int range.
static int round_to_int(double v, long long *out)
{
    if (!std::isfinite(v))
        return 0;
    double r = std::ceil(v - 0.5);
    if (r < -2147483648.0 || r > 2147483647.0)
        return 0;
    *out = (long long)r;
    return 1;
}

static int truncate_to_int(double v, long long *out)
{
    if (!std::isfinite(v) || v <= -2147483649.0 || v >= 2147483648.0)
        return 0;
    *out = (long long)v;
    return 1;
}

static void blend_pixel(uint8_t *d, const uint8_t *s)
{
    int a = s[3], da = d[3];
    if (a == 0) {
        if (da == 0)
            memcpy(d, s, 4);
        return;
    }
    if (a == 255 || da == 0) {
        memcpy(d, s, 4);
        return;
    }
    if (da == 255) {
        for (int c = 0; c < 3; c++)
            d[c] = (uint8_t)((d[c] * (255 - a) + s[c] * a) / 255);
        return;
    }
    int total = a * 255 + (255 - a) * da;
    for (int c = 0; c < 3; c++)
        d[c] = (uint8_t)((d[c] * da * (255 - a) + s[c] * a * 255) / total);
    d[3] = (uint8_t)(a + ((255 - a) * da) / 255);
}

int paste_custom_texture_frame(int texture, int image, float source_x, float source_y, float destination_x,
                               float destination_y, float width, float height)
{
    AnimatedTexture *animation = find_animation(texture);
    if (!animation || image < 0 || image >= animation->image_count || !animation->custom_frame)
        return 0;
    const ImageLevel *shape = &animation->images[0];
    long long W = shape->width, H = shape->height;
    long long sx, sy, dx, dy, cw, ch;
    if (!round_to_int((double)source_x * W, &sx) || !round_to_int((double)source_y * H, &sy) ||
        !round_to_int((double)destination_x * W, &dx) || !round_to_int((double)destination_y * H, &dy) ||
        !truncate_to_int((double)width * W, &cw) || !truncate_to_int((double)height * H, &ch))
        return 0;
    long long reach_x = W - (dx > sx ? dx : sx), reach_y = H - (dy > sy ? dy : sy);
    cw = reach_x < cw ? reach_x : cw;
    ch = reach_y < ch ? reach_y : ch;
    if (sx < 0) {
        cw += sx;
        if (cw < 0)
            return 0;
        dx -= sx;
        sx = 0;
    }
    if (sx >= W)
        return 0;
    if (sy < 0) {
        ch += sy;
        if (ch < 0)
            return 0;
        dy -= sy;
        sy = 0;
    }
    if (sy >= H)
        return 0;
    if (dx < 0) {
        cw += dx;
        if (cw < 0)
            return 0;
        sx -= dx;
        dx = 0;
    }
    if (dx >= W)
        return 0;
    if (dy < 0) {
        ch += dy;
        if (ch < 0)
            return 0;
        sy -= dy;
        dy = 0;
    }
    if (dy >= H)
        return 0;
    if (cw <= 0 || ch <= 0 || sx + cw > W || dx + cw > W || sy + ch > H || dy + ch > H)
        return 0;
    int channels = shape->channels;
    const uint8_t *source = animation->images[image].pixels;
    uint8_t *frame = animation->custom_frame;
    for (long long j = 0; j < ch; j++)
        for (long long i = 0; i < cw; i++) {
            const uint8_t *s = source + ((sy + j) * W + sx + i) * channels;
            uint8_t *d = frame + ((dy + j) * W + dx + i) * channels;
            if (channels == 4)
                blend_pixel(d, s);
            else
                memcpy(d, s, (size_t)channels);
        }
    return 1;
}

int end_custom_texture_frame(int texture)
{
    AnimatedTexture *animation = find_animation(texture);
    if (!animation || !animation->custom_frame)
        return 0;
    const ImageLevel *shape = &animation->images[0];
    build_mipmaps(animation->custom_frame, shape->width, shape->height, shape->channels, 0);
    replace_levels(animation, animation->custom_frame);
    return 1;
}
