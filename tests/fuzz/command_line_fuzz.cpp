// Fuzz target "command_line": the option loop over arguments split from the
// input at NUL bytes (at most 64 words), applied to fresh options; the
// settings it touches are put back after each input.
#include "fuzz/fuzz_target.h"

#include "app/command_line.h"
#include "net/client.h"

#include <cstdio>
#include <string>
#include <vector>

static int run(const uint8_t *data, size_t size)
{
    std::vector<std::string> words = {"rutline"};
    std::string word;
    for (size_t i = 0; i < size && words.size() < 64; i++) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back((char)data[i]);
        }
    }
    if (!word.empty() && words.size() < 64)
        words.push_back(word);
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    CommandLineOptions options;
    default_command_line_options(&options);
    parse_command_line((int)words.size(), argv.data(), &options);
    set_connect_target(nullptr);
    return 0;
}

static std::string join(const std::vector<std::string> &words)
{
    std::string bytes;
    for (const std::string &w : words) {
        bytes += w;
        bytes.push_back('\0');
    }
    return bytes;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"race", join({"--track", "tracks/cinder_hollow", "--lock-fps", "32", "--record-audio", "a.raw"})});
    seeds->push_back({"numbers", join({"--width", "99999", "--height", "63", "--lock-fps", "1e9", "--erode", "nan",
                                       "--lod-scale", "-0", "--fake-lag", "2147483648"})});
    seeds->push_back({"connect", join({"--connect", "rutline:127.0.0.1:19800", "--password", "x", "--warp"})});
    seeds->push_back({"last_value", join({"--nosound", "--detail"})});
    seeds->push_back({"file", join({"demo.kzd", "--open-home", "extra"})});
}

RUT_FUZZ_TARGET(command_line, run, make_seeds);
