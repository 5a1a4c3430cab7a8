// Names of event codes and their parsing, the name store, name aliases and
// the layout's names of the character keys.
#pragma once

struct GameWindow;

// The name of an event code: a fixed name, a key name or a device button name
// ("<device> button <n>"); null for typed characters and unknown devices. The
// text lives for the whole run.
const char *get_key_name(GameWindow *window, int code);

// 1 and the event code of a name, else 0. Aliases are followed once; names
// match exactly, then loosely; "0x%x" names a scan code; "<device>.key[n]" and
// "<device> button <n>" name device buttons and enable the device's buttons.
int parse_key_name(GameWindow *window, int *code, const char *name);

// The one stored copy of a text (kept sorted, never freed), or null when out
// of memory.
const char *store_name(const char *text);

// Frees the name store, the aliases and the layout's names (at shutdown,
// after the window closed).
void free_key_names(void);

// 1, or 0 when the name already has an alias or memory ran out.
int voke_alias_add(const char *name, const char *value);
// The alias of a name, else the name itself.
const char *lookup_alias(const char *name);

// Case-insensitive comparison in which blanks and '_' are all the same blank.
int loose_name_equal(const char *a, const char *b);

// The layout's names of the 512 scan codes: the upper-cased character of a
// letter, digit or punctuation key, "" for every other key. key_code_of gives
// the layout's key code (a Unicode code point for character keys) of an SDL
// scancode. Built from SDL's keymap on first use; rebuilt on the next use
// after forget_system_key_names (the window forgets them when it opens, so
// the names follow the display's layout).
void build_system_key_names(int (*key_code_of)(int sdl_scancode));
const char *system_key_name(int scan_code);
void forget_system_key_names(void);
