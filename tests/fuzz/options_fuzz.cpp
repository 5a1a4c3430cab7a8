// Fuzz target "options": the platform options line VOKE_OPTIONS
// ("[name:value]" items), looked up as the game's switches and numbers.
#include "fuzz/fuzz_target.h"

#include "platform/log.h"

#include <cstdlib>
#include <cstring>

// The environment entry points at this buffer for the whole run: setenv
// would keep a copy of every value it was ever given.
static char options_entry[65536] = "VOKE_OPTIONS=";
enum { OPTIONS_PREFIX = sizeof "VOKE_OPTIONS=" - 1 };

static int run(const uint8_t *data, size_t size)
{
    static int placed;
    if (!placed) {
        putenv(options_entry);
        placed = 1;
    }
    // An environment value ends at the first NUL.
    size_t room = sizeof options_entry - OPTIONS_PREFIX - 1;
    size_t length = size < room ? size : room;
    memcpy(options_entry + OPTIONS_PREFIX, data, length);
    options_entry[OPTIONS_PREFIX + length] = '\0';
    forget_voke_options();
    for (const char *name : {"threaded", "fullscreen", "dinput", "dinputsticksonly", "", "a:b"}) {
        voke_option_bool(name, 0);
        voke_option_int(name, -1);
    }
    options_entry[OPTIONS_PREFIX] = '\0';
    forget_voke_options();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"switches", "[threaded:yes][fullscreen:off][dinput:no][dinputsticksonly:on]"});
    seeds->push_back({"numbers", "[threaded:12][fullscreen:-99999999999][dinput:+7x]"});
    seeds->push_back({"bad", "[threaded:maybe][fullscreen:][dinput"});
}

RUT_FUZZ_TARGET(options, run, make_seeds);
