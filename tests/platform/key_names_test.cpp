// Key names: the key table against the SDL scancode map, parsing and naming
// of codes, loose matching, aliases and the layout's character names.
#include "platform/event_ring.h"
#include "platform/key_names.h"
#include "platform/key_table.h"

#include <SDL2/SDL_scancode.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A US layout: the character SDL's default keymap puts on each key.
int us_key_code(int sdl_scancode)
{
    if (sdl_scancode >= SDL_SCANCODE_A && sdl_scancode <= SDL_SCANCODE_Z)
        return 'a' + sdl_scancode - SDL_SCANCODE_A;
    if (sdl_scancode >= SDL_SCANCODE_1 && sdl_scancode <= SDL_SCANCODE_9)
        return '1' + sdl_scancode - SDL_SCANCODE_1;
    switch (sdl_scancode) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_MINUS: return '-';
    case SDL_SCANCODE_GRAVE: return '`';
    case SDL_SCANCODE_BACKSLASH: return '\\';
    case SDL_SCANCODE_SPACE: return ' ';
    case SDL_SCANCODE_KP_7: return '7';
    default: return 0;
    }
}

// A French-style layout: A and Q swapped, e-acute on the 2 key.
int french_key_code(int sdl_scancode)
{
    switch (sdl_scancode) {
    case SDL_SCANCODE_Q: return 'a';
    case SDL_SCANCODE_A: return 'q';
    case SDL_SCANCODE_2: return 0xE9;
    default: return us_key_code(sdl_scancode);
    }
}

} // namespace

TEST(KeyTable, EveryRowComesFromItsSdlKey)
{
    for (const KeyName &row : key_names) {
        int sdl = sdl_scancode_from_scan_code(row.scan_code);
        ASSERT_NE(sdl, SDL_SCANCODE_UNKNOWN) << row.name;
        EXPECT_EQ(scan_code_from_sdl(sdl), row.scan_code) << row.name;
    }
}

TEST(KeyTable, ScanCodesOfSdlKeys)
{
    struct Case {
        int sdl;
        int scan;
    } cases[] = {
        {SDL_SCANCODE_NUMLOCKCLEAR, 0x145}, {SDL_SCANCODE_PAUSE, 0x45},
        {SDL_SCANCODE_RCTRL, 0x11D},        {SDL_SCANCODE_RALT, 0x138},
        {SDL_SCANCODE_LALT, 0x38},          {SDL_SCANCODE_KP_ENTER, 0x11C},
        {SDL_SCANCODE_KP_DIVIDE, 0x135},    {SDL_SCANCODE_INSERT, 0x152},
        {SDL_SCANCODE_PAGEDOWN, 0x151},     {SDL_SCANCODE_LEFT, 0x14B},
        {SDL_SCANCODE_LGUI, 0x15B},         {SDL_SCANCODE_PRINTSCREEN, 0x137},
        {SDL_SCANCODE_SCROLLLOCK, 0x46},    {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
        {SDL_SCANCODE_M, 0x31},             {SDL_SCANCODE_F11, 0x57},
        {SDL_SCANCODE_UNKNOWN, 0},          {-1, 0},
        {SDL_NUM_SCANCODES, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(scan_code_from_sdl(c.sdl), c.scan) << c.sdl;
    EXPECT_EQ(sdl_scancode_from_scan_code(-1), 0);
    EXPECT_EQ(sdl_scancode_from_scan_code(SCAN_CODE_COUNT), 0);
}

TEST(KeyTable, NoTwoSdlKeysShareAScanCode)
{
    // The ISO key beside Enter is the backslash key of a US keyboard.
    int owner[SCAN_CODE_COUNT] = {};
    for (int sdl = 1; sdl < SDL_NUM_SCANCODES; sdl++) {
        int scan = scan_code_from_sdl(sdl);
        if (!scan || sdl == SDL_SCANCODE_NONUSHASH)
            continue;
        EXPECT_EQ(owner[scan], 0) << "scan code 0x" << std::hex << scan;
        owner[scan] = sdl;
    }
    EXPECT_EQ(scan_code_from_sdl(SDL_SCANCODE_NONUSHASH), 0x2B);
}

TEST(KeyTable, CharacterNames)
{
    struct Case {
        int key_code;
        const char *name;
    } cases[] = {
        {'a', "A"},  {'z', "Z"},  {'7', "7"},       {'[', "["},     {'`', "`"},
        {0xE9, "\xC3\x89"},       {0xFF, "\xC5\xB8"}, {0x20AC, "\xE2\x82\xAC"},
        // Letters of layouts beyond Latin-1: e-caron, Cyrillic ef, Greek
        // omega; sharp s has no single upper-case letter and stays.
        {0x11B, "\xC4\x9A"},      {0x444, "\xD0\xA4"}, {0x3C9, "\xCE\xA9"},
        {0xDF, "\xC3\x9F"},
        {' ', ""},   {'\r', ""},  {0x7F, ""},       {0xA0, ""},     {0, ""},
        {0x4000003A, ""},  // SDL's key code of F1
    };
    for (const Case &c : cases) {
        char name[8];
        character_key_name(c.key_code, name);
        EXPECT_STREQ(name, c.name) << c.key_code;
    }
}

TEST(KeyNames, ParseNames)
{
    build_system_key_names(us_key_code);
    struct Case {
        const char *name;
        int ok;
        int code;
    } cases[] = {
        {"Left Ctrl", 1, 0x101D},   {"left ctrl", 1, 0x101D},   {"Left_Ctrl", 1, 0x101D},
        {"LEFT\tCTRL", 1, 0x101D},  {"Left Ctrl ", 0, 0},       {"Left  Ctrl", 0, 0},
        {"Space", 1, 0x1039},       {" ", 1, 0x1039},           {"_", 1, 0x1039},
        {"0x1d", 1, 0x101D},        {"0x1FF", 1, 0x11FF},       {"0x200", 0, 0},
        {"0x-1", 0, 0},             {"Close", 1, 0xdead},       {"mouse right", 1, 0x2002},
        {"Mouse Middle", 1, 0x2001}, {"Num Lock", 1, 0x1145},    {"Pause", 1, 0x1045},
        {"Keypad Enter", 1, 0x111C}, {"keypad /", 1, 0x1135},    {"F12", 1, 0x1058},
        {"A", 1, 0x101E},           {"a", 1, 0x101E},           {"\\", 1, 0x102B},
        {"Keypad 7", 1, 0x1047},    {"", 0, 0},                 {"Nonsense", 0, 0},
        {"Mouse.key[0]", 0, 0},     {"cursor button 1", 0, 0},
    };
    for (const Case &c : cases) {
        int code = -1;
        EXPECT_EQ(parse_key_name(nullptr, &code, c.name), c.ok) << '"' << c.name << '"';
        if (c.ok) {
            EXPECT_EQ(code, c.code) << '"' << c.name << '"';
        }
    }
    int code = 0;
    EXPECT_EQ(parse_key_name(nullptr, &code, nullptr), 0);
}

TEST(KeyNames, NamesOfCodes)
{
    build_system_key_names(us_key_code);
    struct Case {
        int code;
        const char *name;
    } cases[] = {
        {0x1039, "Space"},   {0x101D, "Left Ctrl"}, {0x101E, "A"},   {0x1047, "Keypad 7"},
        {0x1145, "Num Lock"}, {0x1059, "0x59"},     {0x1138, "0x138"}, {0x1000, "0x0"},
        {0xdead, "Close"},   {0x2001, "Mouse Middle"}, {0x41, nullptr}, {0x2003, nullptr},
        {0x10000, nullptr},  {-1, nullptr},
    };
    for (const Case &c : cases) {
        const char *name = get_key_name(nullptr, c.code);
        if (c.name) {
            EXPECT_STREQ(name, c.name) << std::hex << c.code;
        } else {
            EXPECT_EQ(name, nullptr) << std::hex << c.code;
        }
    }
}

TEST(KeyNames, EveryNamedKeyParsesBackToItsCode)
{
    build_system_key_names(us_key_code);
    for (int scan = 0; scan < SCAN_CODE_COUNT; scan++) {
        const char *name = get_key_name(nullptr, EVENT_KEY_BASE + scan);
        ASSERT_NE(name, nullptr);
        int code = 0;
        ASSERT_EQ(parse_key_name(nullptr, &code, name), 1) << name;
        // " " and "Space" share a key; names of scan code 0x39 come back as it.
        EXPECT_EQ(code, EVENT_KEY_BASE + scan) << name;
    }
}

TEST(KeyNames, LayoutNamesComeBeforeTheTable)
{
    build_system_key_names(french_key_code);
    EXPECT_STREQ(system_key_name(0x10), "A");
    EXPECT_STREQ(system_key_name(0x1E), "Q");
    EXPECT_STREQ(system_key_name(0x39), "");   // Space keeps its table name
    EXPECT_STREQ(system_key_name(0x47), "");   // keypad keys are not character keys
    EXPECT_STREQ(system_key_name(600), "");

    int code = 0;
    ASSERT_EQ(parse_key_name(nullptr, &code, "A"), 1);
    EXPECT_EQ(code, 0x1010);
    ASSERT_EQ(parse_key_name(nullptr, &code, "\xC3\x89"), 1);
    EXPECT_EQ(code, 0x1003);
    EXPECT_STREQ(get_key_name(nullptr, 0x101E), "Q");
    EXPECT_STREQ(get_key_name(nullptr, 0x1003), "\xC3\x89");
    EXPECT_STREQ(get_key_name(nullptr, 0x1039), "Space");
}

TEST(KeyNames, LooseComparison)
{
    struct Case {
        const char *a, *b;
        int equal;
    } cases[] = {
        {"Page Up", "page_up", 1}, {"Page Up", "PAGE\nUP", 1}, {"Page Up", "PageUp", 0},
        {"Page Up", "Page Up2", 0}, {"", "", 1}, {"a", "", 0}, {"_", "\t", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(loose_name_equal(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

TEST(KeyNames, NameStoreKeepsOneCopy)
{
    std::string first = "JoyStick1 button 3", second = first;
    const char *a = store_name(first.c_str());
    const char *b = store_name(second.c_str());
    const char *c = store_name("JoyStick1 button 4");
    const char *d = store_name("Another");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, first.c_str());
    EXPECT_NE(a, c);
    EXPECT_STREQ(c, "JoyStick1 button 4");
    EXPECT_EQ(store_name("Another"), d);
    EXPECT_EQ(store_name(nullptr), nullptr);
}

TEST(KeyNames, AliasesAreFollowedOnce)
{
    build_system_key_names(us_key_code);
    EXPECT_EQ(voke_alias_add("throttle-key", "Left Ctrl"), 1);
    EXPECT_EQ(voke_alias_add("throttle-key", "Space"), 0);   // the first stays
    EXPECT_EQ(voke_alias_add("chained", "throttle-key"), 1);

    int code = 0;
    ASSERT_EQ(parse_key_name(nullptr, &code, "throttle-key"), 1);
    EXPECT_EQ(code, 0x101D);
    EXPECT_STREQ(lookup_alias("chained"), "throttle-key");
    EXPECT_EQ(parse_key_name(nullptr, &code, "chained"), 0);
    EXPECT_STREQ(lookup_alias("unaliased"), "unaliased");
}
