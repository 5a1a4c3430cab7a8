// The key-name table, the map from SDL scancodes to PC set-1 scan codes and
// the character names of the keyboard layout.
#include "platform/key_table.h"

#include <SDL2/SDL_scancode.h>

#include <array>

#include <locale.h>
#include <wctype.h>

const KeyName key_names[KEY_NAME_COUNT] = {
    {0x01, "Esc"}, {0x0B, "0"},
    {0x02, "1"}, {0x03, "2"}, {0x04, "3"}, {0x05, "4"}, {0x06, "5"},
    {0x07, "6"}, {0x08, "7"}, {0x09, "8"}, {0x0A, "9"},
    {0x1E, "A"}, {0x30, "B"}, {0x2E, "C"}, {0x20, "D"}, {0x12, "E"},
    {0x21, "F"}, {0x22, "G"}, {0x23, "H"}, {0x17, "I"}, {0x24, "J"},
    {0x25, "K"}, {0x26, "L"}, {0x31, "M"}, {0x32, "N"}, {0x18, "O"},
    {0x19, "P"}, {0x10, "Q"}, {0x13, "R"}, {0x1F, "S"}, {0x14, "T"},
    {0x16, "U"}, {0x2F, "V"}, {0x11, "W"}, {0x2D, "X"}, {0x15, "Y"},
    {0x2C, "Z"},
    {0x0C, "-"}, {0x0D, "="}, {0x1A, "["}, {0x1B, "]"}, {0x27, ";"},
    {0x28, "'"}, {0x29, "`"}, {0x2B, "\\"}, {0x33, ","}, {0x34, "."},
    {0x35, "/"},
    {0x0E, "Backspace"}, {0x0F, "Tab"}, {0x1C, "Enter"}, {0x1D, "Left Ctrl"},
    {0x2A, "Left Shift"}, {0x36, "Right Shift"}, {0x39, "Space"}, {0x39, " "},
    {0x3A, "Caps Lock"}, {0x11D, "Right Ctrl"},
    {0x152, "Insert"}, {0x153, "Delete"}, {0x147, "Home"}, {0x14F, "End"},
    {0x149, "Page Up"}, {0x151, "Page Down"},
    {0x148, "Up"}, {0x150, "Down"}, {0x14B, "Left"}, {0x14D, "Right"},
    {0x3B, "F1"}, {0x3C, "F2"}, {0x3D, "F3"}, {0x3E, "F4"}, {0x3F, "F5"},
    {0x40, "F6"}, {0x41, "F7"}, {0x42, "F8"}, {0x43, "F9"}, {0x44, "F10"},
    {0x57, "F11"}, {0x58, "F12"},
    {0x45, "Pause"}, {0x145, "Num Lock"},
    {0x135, "Keypad /"}, {0x37, "Keypad *"}, {0x4A, "Keypad -"},
    {0x47, "Keypad 7"}, {0x48, "Keypad 8"}, {0x49, "Keypad 9"},
    {0x4E, "Keypad +"},
    {0x4B, "Keypad 4"}, {0x4C, "Keypad 5"}, {0x4D, "Keypad 6"},
    {0x4F, "Keypad 1"}, {0x50, "Keypad 2"}, {0x51, "Keypad 3"},
    {0x11C, "Keypad Enter"}, {0x52, "Keypad 0"}, {0x53, "Keypad ."},
};

struct ScanCodePair {
    int sdl;
    int scan;
    bool character;   // a letter, digit or punctuation key
};

// Every key of a PC keyboard that SDL reports, with the scan code the keyboard
// sends in set 1 (0x100 = the E0 prefix). Num Lock and Pause follow the key
// table: Num Lock is extended, Pause is not.
static constexpr ScanCodePair scan_code_pairs[] = {
    {SDL_SCANCODE_A, 0x1E, true}, {SDL_SCANCODE_B, 0x30, true},
    {SDL_SCANCODE_C, 0x2E, true}, {SDL_SCANCODE_D, 0x20, true},
    {SDL_SCANCODE_E, 0x12, true}, {SDL_SCANCODE_F, 0x21, true},
    {SDL_SCANCODE_G, 0x22, true}, {SDL_SCANCODE_H, 0x23, true},
    {SDL_SCANCODE_I, 0x17, true}, {SDL_SCANCODE_J, 0x24, true},
    {SDL_SCANCODE_K, 0x25, true}, {SDL_SCANCODE_L, 0x26, true},
    {SDL_SCANCODE_M, 0x31, true}, {SDL_SCANCODE_N, 0x32, true},
    {SDL_SCANCODE_O, 0x18, true}, {SDL_SCANCODE_P, 0x19, true},
    {SDL_SCANCODE_Q, 0x10, true}, {SDL_SCANCODE_R, 0x13, true},
    {SDL_SCANCODE_S, 0x1F, true}, {SDL_SCANCODE_T, 0x14, true},
    {SDL_SCANCODE_U, 0x16, true}, {SDL_SCANCODE_V, 0x2F, true},
    {SDL_SCANCODE_W, 0x11, true}, {SDL_SCANCODE_X, 0x2D, true},
    {SDL_SCANCODE_Y, 0x15, true}, {SDL_SCANCODE_Z, 0x2C, true},
    {SDL_SCANCODE_1, 0x02, true}, {SDL_SCANCODE_2, 0x03, true},
    {SDL_SCANCODE_3, 0x04, true}, {SDL_SCANCODE_4, 0x05, true},
    {SDL_SCANCODE_5, 0x06, true}, {SDL_SCANCODE_6, 0x07, true},
    {SDL_SCANCODE_7, 0x08, true}, {SDL_SCANCODE_8, 0x09, true},
    {SDL_SCANCODE_9, 0x0A, true}, {SDL_SCANCODE_0, 0x0B, true},
    {SDL_SCANCODE_RETURN, 0x1C, false}, {SDL_SCANCODE_ESCAPE, 0x01, false},
    {SDL_SCANCODE_BACKSPACE, 0x0E, false}, {SDL_SCANCODE_TAB, 0x0F, false},
    {SDL_SCANCODE_SPACE, 0x39, false},
    {SDL_SCANCODE_MINUS, 0x0C, true}, {SDL_SCANCODE_EQUALS, 0x0D, true},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A, true}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B, true},
    {SDL_SCANCODE_BACKSLASH, 0x2B, true}, {SDL_SCANCODE_NONUSHASH, 0x2B, true},
    {SDL_SCANCODE_SEMICOLON, 0x27, true}, {SDL_SCANCODE_APOSTROPHE, 0x28, true},
    {SDL_SCANCODE_GRAVE, 0x29, true}, {SDL_SCANCODE_COMMA, 0x33, true},
    {SDL_SCANCODE_PERIOD, 0x34, true}, {SDL_SCANCODE_SLASH, 0x35, true},
    {SDL_SCANCODE_CAPSLOCK, 0x3A, false},
    {SDL_SCANCODE_F1, 0x3B, false}, {SDL_SCANCODE_F2, 0x3C, false},
    {SDL_SCANCODE_F3, 0x3D, false}, {SDL_SCANCODE_F4, 0x3E, false},
    {SDL_SCANCODE_F5, 0x3F, false}, {SDL_SCANCODE_F6, 0x40, false},
    {SDL_SCANCODE_F7, 0x41, false}, {SDL_SCANCODE_F8, 0x42, false},
    {SDL_SCANCODE_F9, 0x43, false}, {SDL_SCANCODE_F10, 0x44, false},
    {SDL_SCANCODE_F11, 0x57, false}, {SDL_SCANCODE_F12, 0x58, false},
    {SDL_SCANCODE_PRINTSCREEN, 0x137, false}, {SDL_SCANCODE_SCROLLLOCK, 0x46, false},
    {SDL_SCANCODE_PAUSE, 0x45, false},
    {SDL_SCANCODE_INSERT, 0x152, false}, {SDL_SCANCODE_HOME, 0x147, false},
    {SDL_SCANCODE_PAGEUP, 0x149, false}, {SDL_SCANCODE_DELETE, 0x153, false},
    {SDL_SCANCODE_END, 0x14F, false}, {SDL_SCANCODE_PAGEDOWN, 0x151, false},
    {SDL_SCANCODE_RIGHT, 0x14D, false}, {SDL_SCANCODE_LEFT, 0x14B, false},
    {SDL_SCANCODE_DOWN, 0x150, false}, {SDL_SCANCODE_UP, 0x148, false},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x145, false},
    {SDL_SCANCODE_KP_DIVIDE, 0x135, false}, {SDL_SCANCODE_KP_MULTIPLY, 0x37, false},
    {SDL_SCANCODE_KP_MINUS, 0x4A, false}, {SDL_SCANCODE_KP_PLUS, 0x4E, false},
    {SDL_SCANCODE_KP_ENTER, 0x11C, false},
    {SDL_SCANCODE_KP_1, 0x4F, false}, {SDL_SCANCODE_KP_2, 0x50, false},
    {SDL_SCANCODE_KP_3, 0x51, false}, {SDL_SCANCODE_KP_4, 0x4B, false},
    {SDL_SCANCODE_KP_5, 0x4C, false}, {SDL_SCANCODE_KP_6, 0x4D, false},
    {SDL_SCANCODE_KP_7, 0x47, false}, {SDL_SCANCODE_KP_8, 0x48, false},
    {SDL_SCANCODE_KP_9, 0x49, false}, {SDL_SCANCODE_KP_0, 0x52, false},
    {SDL_SCANCODE_KP_PERIOD, 0x53, false},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56, true},
    {SDL_SCANCODE_APPLICATION, 0x15D, false}, {SDL_SCANCODE_POWER, 0x15E, false},
    {SDL_SCANCODE_KP_EQUALS, 0x59, false},
    {SDL_SCANCODE_F13, 0x64, false}, {SDL_SCANCODE_F14, 0x65, false},
    {SDL_SCANCODE_F15, 0x66, false}, {SDL_SCANCODE_F16, 0x67, false},
    {SDL_SCANCODE_F17, 0x68, false}, {SDL_SCANCODE_F18, 0x69, false},
    {SDL_SCANCODE_F19, 0x6A, false}, {SDL_SCANCODE_F20, 0x6B, false},
    {SDL_SCANCODE_F21, 0x6C, false}, {SDL_SCANCODE_F22, 0x6D, false},
    {SDL_SCANCODE_F23, 0x6E, false}, {SDL_SCANCODE_F24, 0x76, false},
    {SDL_SCANCODE_MUTE, 0x120, false}, {SDL_SCANCODE_VOLUMEUP, 0x130, false},
    {SDL_SCANCODE_VOLUMEDOWN, 0x12E, false},
    {SDL_SCANCODE_KP_COMMA, 0x7E, false},
    {SDL_SCANCODE_INTERNATIONAL1, 0x73, true}, {SDL_SCANCODE_INTERNATIONAL2, 0x70, false},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D, true}, {SDL_SCANCODE_INTERNATIONAL4, 0x79, false},
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B, false},
    {SDL_SCANCODE_LANG1, 0xF2, false}, {SDL_SCANCODE_LANG2, 0xF1, false},
    {SDL_SCANCODE_LCTRL, 0x1D, false}, {SDL_SCANCODE_LSHIFT, 0x2A, false},
    {SDL_SCANCODE_LALT, 0x38, false}, {SDL_SCANCODE_LGUI, 0x15B, false},
    {SDL_SCANCODE_RCTRL, 0x11D, false}, {SDL_SCANCODE_RSHIFT, 0x36, false},
    {SDL_SCANCODE_RALT, 0x138, false}, {SDL_SCANCODE_RGUI, 0x15C, false},
    {SDL_SCANCODE_AUDIONEXT, 0x119, false}, {SDL_SCANCODE_AUDIOPREV, 0x110, false},
    {SDL_SCANCODE_AUDIOSTOP, 0x124, false}, {SDL_SCANCODE_AUDIOPLAY, 0x122, false},
    {SDL_SCANCODE_MEDIASELECT, 0x16D, false}, {SDL_SCANCODE_MAIL, 0x16C, false},
    {SDL_SCANCODE_CALCULATOR, 0x121, false}, {SDL_SCANCODE_COMPUTER, 0x16B, false},
    {SDL_SCANCODE_AC_SEARCH, 0x165, false}, {SDL_SCANCODE_AC_HOME, 0x132, false},
    {SDL_SCANCODE_AC_BACK, 0x16A, false}, {SDL_SCANCODE_AC_FORWARD, 0x169, false},
    {SDL_SCANCODE_AC_STOP, 0x168, false}, {SDL_SCANCODE_AC_REFRESH, 0x167, false},
    {SDL_SCANCODE_AC_BOOKMARKS, 0x166, false}, {SDL_SCANCODE_SLEEP, 0x15F, false},
};

struct ScanCodeMaps {
    std::array<short, SDL_NUM_SCANCODES> from_sdl;
    std::array<short, SCAN_CODE_COUNT> to_sdl;
    std::array<bool, SCAN_CODE_COUNT> character;
};

static constexpr ScanCodeMaps build_scan_code_maps()
{
    ScanCodeMaps maps{};
    for (const ScanCodePair &pair : scan_code_pairs) {
        maps.from_sdl[pair.sdl] = (short)pair.scan;
        if (maps.to_sdl[pair.scan] == 0)
            maps.to_sdl[pair.scan] = (short)pair.sdl;
        maps.character[pair.scan] = pair.character;
    }
    return maps;
}

static constexpr ScanCodeMaps scan_code_maps = build_scan_code_maps();

int scan_code_from_sdl(int sdl_scancode)
{
    if (sdl_scancode < 0 || sdl_scancode >= SDL_NUM_SCANCODES)
        return 0;
    return scan_code_maps.from_sdl[sdl_scancode];
}

int sdl_scancode_from_scan_code(int scan_code)
{
    if (scan_code < 0 || scan_code >= SCAN_CODE_COUNT)
        return 0;
    return scan_code_maps.to_sdl[scan_code];
}

int is_character_scan_code(int scan_code)
{
    return scan_code >= 0 && scan_code < SCAN_CODE_COUNT && scan_code_maps.character[scan_code];
}

// Upper case by the Unicode tables of the C.UTF-8 locale (the process's own
// locale stays as it is); without that locale, ASCII and Latin-1 only.
static int upper_case_code_point(int c)
{
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    if (unicode)
        return (int)towupper_l((wint_t)c, unicode);
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)   // Latin-1 small letters
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    return c;
}

void character_key_name(int key_code, char out[8])
{
    out[0] = '\0';
    // Control characters, blanks, Delete, the C1 controls, the no-break
    // space, surrogates and SDL's non-character key codes have no name.
    if (key_code <= 0x20 || key_code == 0x7F || (key_code >= 0x80 && key_code <= 0xA0) ||
        (key_code >= 0xD800 && key_code <= 0xDFFF) || key_code > 0x10FFFF)
        return;
    int c = upper_case_code_point(key_code);
    int n = 0;
    if (c < 0x80) {
        out[n++] = (char)c;
    } else if (c < 0x800) {
        out[n++] = (char)(0xC0 | (c >> 6));
        out[n++] = (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out[n++] = (char)(0xE0 | (c >> 12));
        out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
        out[n++] = (char)(0x80 | (c & 0x3F));
    } else {
        out[n++] = (char)(0xF0 | (c >> 18));
        out[n++] = (char)(0x80 | ((c >> 12) & 0x3F));
        out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
        out[n++] = (char)(0x80 | (c & 0x3F));
    }
    out[n] = '\0';
}
