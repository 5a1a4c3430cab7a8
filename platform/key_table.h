// The key-name table, the map from SDL scancodes to PC set-1 scan codes and
// the character names of the keyboard layout. Pure tables: no SDL calls.
#pragma once

enum {
    SCAN_CODE_COUNT = 512,        // 8-bit hardware code plus the extended bit
    EXTENDED_SCAN_CODE = 0x100,
    KEY_NAME_COUNT = 98,
};

struct KeyName {
    int scan_code;
    const char *name;
};

// The stored names of the keys, in table order (several rows may share a
// scan code: "Space" and " ").
extern const KeyName key_names[KEY_NAME_COUNT];

// The set-1 scan code (with 0x100 for extended keys) of an SDL scancode, or 0
// for a key the table does not know.
int scan_code_from_sdl(int sdl_scancode);

// The SDL scancode that gives a set-1 scan code, or 0 (SDL_SCANCODE_UNKNOWN).
int sdl_scancode_from_scan_code(int scan_code);

// Whether the scan code belongs to a letter, digit or punctuation key, the
// keys whose name is the character the keyboard layout puts on them.
int is_character_scan_code(int scan_code);

// The name the layout gives a character key: the upper-cased character of the
// key code (a Unicode code point) as UTF-8, or "" when it is no printable
// character (blanks included, so Space keeps its table name). out holds 8 bytes.
void character_key_name(int key_code, char out[8]);
