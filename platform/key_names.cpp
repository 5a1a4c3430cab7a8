// Names of event codes and their parsing, the name store, name aliases and
// the layout's names of the character keys.
#include "platform/key_names.h"

#include "core/alloc.h"
#include "platform/event_ring.h"
#include "platform/input.h"
#include "platform/key_table.h"
#include "platform/log.h"

#include <SDL2/SDL_keyboard.h>

#include <cctype>
#include <cstdio>
#include <cstring>

struct FixedName {
    int code;
    const char *name;
};

static const FixedName fixed_names[] = {
    {EVENT_CLOSE, "Close"},
    {EVENT_MOUSE_LEFT, "Mouse Left"},
    {EVENT_MOUSE_MIDDLE, "Mouse Middle"},
    {EVENT_MOUSE_RIGHT, "Mouse Right"},
};
enum { FIXED_NAME_COUNT = sizeof fixed_names / sizeof fixed_names[0] };

// ---- name store -----------------------------------------------------------

struct StoredName {
    StoredName *next;
    char *text;
};

static StoredName *stored_names;   // sorted by strcmp

const char *store_name(const char *text)
{
    if (!text)
        return nullptr;
    StoredName **link = &stored_names;
    while (*link) {
        int order = strcmp((*link)->text, text);
        if (order == 0)
            return (*link)->text;
        if (order > 0)
            break;
        link = &(*link)->next;
    }
    size_t length = strlen(text);
    StoredName *entry = (StoredName *)checked_malloc(sizeof(StoredName) + length + 1);
    if (!entry)
        return nullptr;
    entry->text = (char *)(entry + 1);
    memcpy(entry->text, text, length + 1);
    entry->next = *link;
    *link = entry;
    return entry->text;
}

// ---- aliases ----------------------------------------------------------------

struct Alias {
    Alias *next;
    char *name;
    char *value;
};

static Alias *aliases;   // newest first

static const Alias *find_alias(const char *name)
{
    for (const Alias *alias = aliases; alias; alias = alias->next)
        if (strcmp(alias->name, name) == 0)
            return alias;
    return nullptr;
}

const char *lookup_alias(const char *name)
{
    const Alias *alias = find_alias(name);
    return alias ? alias->value : name;
}

int voke_alias_add(const char *name, const char *value)
{
    if (find_alias(name)) {
        log_printf("Second alias for '%s' ('%s') ignored\n", name, value);
        return 0;
    }
    size_t name_length = strlen(name), value_length = strlen(value);
    Alias *alias = (Alias *)checked_malloc(sizeof(Alias) + name_length + value_length + 2);
    if (!alias) {
        log_printf("Can't alias %s to %s -- out of memory\n", name, value);
        return 0;
    }
    alias->name = (char *)(alias + 1);
    alias->value = alias->name + name_length + 1;
    memcpy(alias->name, name, name_length + 1);
    memcpy(alias->value, value, value_length + 1);
    alias->next = aliases;
    aliases = alias;
    return 1;
}

// ---- comparison ---------------------------------------------------------------

static int is_loose_blank(unsigned char c)
{
    return isspace(c) || c == '_';
}

int loose_name_equal(const char *a, const char *b)
{
    for (;; a++, b++) {
        unsigned char ca = (unsigned char)*a, cb = (unsigned char)*b;
        if (ca == '\0' || cb == '\0')
            return ca == cb;
        if (is_loose_blank(ca) && is_loose_blank(cb))
            continue;
        if (tolower(ca) != tolower(cb))
            return 0;
    }
}

// ---- the layout's key names -------------------------------------------------

static const char *system_key_names[SCAN_CODE_COUNT];
static int system_names_built;

void build_system_key_names(int (*key_code_of)(int sdl_scancode))
{
    for (int scan = 0; scan < SCAN_CODE_COUNT; scan++) {
        system_key_names[scan] = "";
        if (!is_character_scan_code(scan))
            continue;
        char name[8];
        character_key_name(key_code_of(sdl_scancode_from_scan_code(scan)), name);
        if (name[0]) {
            const char *stored = store_name(name);
            if (stored)
                system_key_names[scan] = stored;
        }
    }
    system_names_built = 1;
}

void forget_system_key_names(void)
{
    system_names_built = 0;
}

static int sdl_key_code_of(int sdl_scancode)
{
    return (int)SDL_GetKeyFromScancode((SDL_Scancode)sdl_scancode);
}

static void need_system_key_names(void)
{
    if (!system_names_built)
        build_system_key_names(sdl_key_code_of);
}

const char *system_key_name(int scan_code)
{
    need_system_key_names();
    if (scan_code < 0 || scan_code >= SCAN_CODE_COUNT)
        return "";
    return system_key_names[scan_code];
}

// ---- names of codes -------------------------------------------------------------

const char *get_key_name(GameWindow *window, int code)
{
    for (const FixedName &fixed : fixed_names)
        if (fixed.code == code)
            return fixed.name;

    char text[1100];
    if (code < EVENT_KEY_BASE || code >= EVENT_KEY_BASE + (int)SCAN_CODE_COUNT) {
        InputDevice *device = find_device_by_id(window, code & ~0xFFFF);
        // Only buttons the device has: a code whose low bits name no button
        // would give a name that parses back to another code.
        if (!device || (code & 0xFFFF) > 0xFF || (code & 0xFFFF) >= device->button_count)
            return nullptr;
        snprintf(text, sizeof text, "%.1000s button %d", device->name, code & 0xFF);
        return store_name(text);
    }

    int scan = code - EVENT_KEY_BASE;
    const char *system = system_key_name(scan);
    if (system[0])
        return system;
    for (const KeyName &row : key_names)
        if (row.scan_code == scan)
            return row.name;
    snprintf(text, sizeof text, "0x%x", scan);
    return store_name(text);
}

static int match_name(const char *name, int loose, int *code)
{
    int (*equal)(const char *, const char *) =
        loose ? loose_name_equal : [](const char *a, const char *b) { return (int)(strcmp(a, b) == 0); };
    for (const FixedName &fixed : fixed_names)
        if (equal(fixed.name, name)) {
            *code = fixed.code;
            return 1;
        }
    for (int scan = 0; scan < SCAN_CODE_COUNT; scan++)
        if (system_key_names[scan][0] && equal(system_key_names[scan], name)) {
            *code = EVENT_KEY_BASE + scan;
            return 1;
        }
    for (const KeyName &row : key_names)
        if (equal(row.name, name)) {
            *code = EVENT_KEY_BASE + row.scan_code;
            return 1;
        }
    return 0;
}

int parse_key_name(GameWindow *window, int *code, const char *name)
{
    if (!name || !code)
        return 0;
    name = lookup_alias(name);
    need_system_key_names();
    if (match_name(name, 0, code) || match_name(name, 1, code))
        return 1;

    unsigned scan;
    if (sscanf(name, "0x%x", &scan) == 1 && scan < SCAN_CODE_COUNT) {
        *code = EVENT_KEY_BASE + (int)scan;
        return 1;
    }

    char device_name[DEVICE_NAME_SIZE];
    int button;
    if (sscanf(name, "%63[^.].key[%d]", device_name, &button) != 2 &&
        sscanf(name, "%63s button %d", device_name, &button) != 2)
        return 0;
    InputDevice *device = find_device_by_name(window, device_name);
    if (!device || button < 0 || button > 255 || button >= device->button_count)
        return 0;
    device->buttons_enabled = device->enable_buttons(device);
    *code = device->id + button;
    return 1;
}

void free_key_names(void)
{
    while (stored_names) {
        StoredName *next = stored_names->next;
        checked_free(stored_names);
        stored_names = next;
    }
    while (aliases) {
        Alias *next = aliases->next;
        checked_free(aliases);
        aliases = next;
    }
    system_names_built = 0;
}
