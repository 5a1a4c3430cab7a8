// Client-info texts: the one this player sends, the ones the server relays
// for every slot, and the proof of the join password.
#include "net/client.h"

#include <cstdio>
#include <cstring>

#include "app/player_settings.h"
#include "core/digest.h"

void format_client_info(char *buffer, int capacity)
{
    if (!buffer || capacity < 1)
        return;
    const char *parts[7] = {player_bike_model(),   player_rider_texture(), player_bike_texture(),
                            player_wheel_texture(), player_helmet_texture(), player_number_text(),
                            player_name_text()};
    size_t total = 6;
    for (const char *&part : parts) {
        if (!part)
            part = "";
        total += strlen(part);
    }
    if (total < (size_t)capacity)
        snprintf(buffer, (size_t)capacity, "%s|%s|%s|%s|%s\n%s\n%s", parts[0], parts[1], parts[2], parts[3],
                 parts[4], parts[5], parts[6]);
    else
        snprintf(buffer, (size_t)capacity, "%s\n%s\n%s", parts[0], parts[5], parts[6]);
}

uint32_t password_proof(const char *password, uint32_t key)
{
    Ripemd160Context context;
    ripemd160_init(&context);
    ripemd160_update(&context, password, (int)strlen(password));
    uint8_t key_bytes[4];
    put_u32(key_bytes, key);
    ripemd160_update(&context, key_bytes, 4);
    ripemd160_final(&context);
    const uint8_t *d = context.digest;
    // Byte 3 of the digest goes first.
    return (uint32_t)d[3] | (uint32_t)d[2] << 8 | (uint32_t)d[1] << 16 | (uint32_t)d[0] << 24;
}

// A shown text: at most limit bytes, control bytes but ESC made blanks.
static void copy_shown_text(char *out, int size, const char *text, int length, int limit)
{
    int n = length < limit ? length : limit;
    if (n > size - 1)
        n = size - 1;
    for (int i = 0; i < n; i++) {
        unsigned char c = (unsigned char)text[i];
        out[i] = (c < 32 && c != 27) || c == 127 ? ' ' : (char)c;
    }
    out[n] = '\0';
}

// A graphics name is kept only as a game path inside the game data; any
// other becomes the default (empty).
static void copy_graphics_name(char *out, int size, const char *text, int length)
{
    out[0] = '\0';
    if (length <= 1 || length >= size || text[0] != '@')
        return;
    for (int i = 0; i < length; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c < 32 || c == 127 || c == '\\')
            return;
        if (c == '.' && i + 1 < length && text[i + 1] == '.')
            return;
    }
    memcpy(out, text, (size_t)length);
    out[length] = '\0';
}

void set_rider_slot_info(int slot, const char *text, int length)
{
    if (slot < 0 || slot >= NET_NO_SLOT || !text || length < 0)
        return;
    NetRiderInfo *info = &net_rider_info[slot];
    const char *nul = (const char *)memchr(text, 0, (size_t)length);
    if (nul)
        length = (int)(nul - text);
    const char *end = text + length;
    const char *line_end = (const char *)memchr(text, '\n', (size_t)length);
    if (!line_end)
        line_end = end;

    // The first line: bike|gear|bike graphics|wheels|helmet.
    char *graphics[4] = {info->rider_texture, info->bike_texture, info->wheel_texture, info->helmet_texture};
    const char *field = text;
    for (int k = 0; k < 5; k++) {
        const char *bar = (const char *)memchr(field, '|', (size_t)(line_end - field));
        const char *field_end = bar ? bar : line_end;
        int n = (int)(field_end - field);
        if (k == 0)
            copy_shown_text(info->model, sizeof info->model, field, n, (int)sizeof info->model - 1);
        else
            copy_graphics_name(graphics[k - 1], sizeof info->rider_texture, field, n);
        if (!bar)
            break;
        field = bar + 1;
    }
    if (line_end == end)
        return;
    const char *number = line_end + 1;
    const char *number_end = (const char *)memchr(number, '\n', (size_t)(end - number));
    if (!number_end)
        number_end = end;
    copy_shown_text(info->number, sizeof info->number, number, (int)(number_end - number), RIDER_NUMBER_MAX);
    if (number_end == end)
        return;
    const char *name = number_end + 1;
    const char *name_end = (const char *)memchr(name, '\n', (size_t)(end - name));
    if (!name_end)
        name_end = end;
    copy_shown_text(info->name, sizeof info->name, name, (int)(name_end - name), RIDER_NAME_MAX);
}
