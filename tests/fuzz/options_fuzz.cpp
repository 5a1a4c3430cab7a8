// Fuzz target "options": the platform options line VOKE_OPTIONS
// ("[name:value]" items), looked up as the game's switches and numbers.
#include "fuzz/fuzz_target.h"

#include "platform/log.h"

#include <cstdlib>

static int run(const uint8_t *data, size_t size)
{
    std::string text = input_text(data, size);
    // An environment value ends at the first NUL.
    setenv("VOKE_OPTIONS", text.c_str(), 1);
    forget_voke_options();
    for (const char *name : {"threaded", "fullscreen", "dinput", "dinputsticksonly", "", "a:b"}) {
        voke_option_bool(name, 0);
        voke_option_int(name, -1);
    }
    unsetenv("VOKE_OPTIONS");
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
