// Fuzz target "settings": the settings file "@config" read into the widgets
// and written back, setup files under "@setups/", and binding texts.
#include "fuzz/fuzz_target.h"

#include "app/bike_setup.h"
#include "app/bindings.h"
#include "app/settings.h"
#include "core/file.h"

#include <cstdio>
#include <string>

namespace {

void remove_home_file(const char *name)
{
    const char *home = get_search_folder(0);
    if (home)
        remove((std::string(home) + name).c_str());
}

int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    switch (input.selector % 3) {
    case 0:
        place_input("config", input.data, input.size, input.selector / 3 % INPUT_FORMS);
        read_config();
        write_config();
        remove_home_file("config");
        remove_data_file("config");
        remove_data_file("config.gz");
        break;
    case 1:
        place_input("setups/fz", input.data, input.size, input.selector / 3 % INPUT_FORMS);
        read_setup_file("fz");
        write_setup_file("fz");
        remove_home_file("setups/fz");
        remove_data_file("setups/fz");
        remove_data_file("setups/fz.gz");
        break;
    default: {
        std::string text = input_text(input.data, input.size);
        KeyBinding binding = riding_bindings[0];
        binding.axis = nullptr;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            parse_binding(&binding, text.substr(start, end - start).c_str());
            char out[1100];
            format_binding(&binding, out, sizeof out);
            start = end + 1;
        }
        break;
    }
    }
    reset_reader_state();
    return 0;
}

void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"config", std::string(1, '\0') +
                                    "xres=800\nyres=600\ntrack=tracks/loop\nlaps=7\nslot05=Human\n"
                                    "server_name_hist03=old.example\nuse_fbo=No\nmap_scale=2\n"
                                    "throttle_key=(0.062500,0.937500)Pad axis 1\nfov=100\r\n"});
    seeds->push_back({"config_gzip", std::string(1, '\x06') + "stability=40\nroll_limit_angle=30\n"});
    seeds->push_back({"setup", std::string(1, '\x01') +
                                   "bike=yz250f\nname=Rider\nnumber=12\nrider_texture=red\nstability=50\n"
                                   "stop_wheelies=Front Only\nrider_mass_distribution=0.4\n"});
    seeds->push_back({"bindings", std::string(1, '\x02') +
                                      "(k)x\nright ctrl\n(-1,1)Pad axis 0\n(1)x\n(1,1)Pad\n(0,nan)Pad\n"});
}

}  // namespace

RUT_FUZZ_TARGET(settings, run, make_seeds);
