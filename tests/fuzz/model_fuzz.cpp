// Fuzz target "model": ".jm" model files (the old layout, JM1, and JM2 with
// bone weights; plain, damaged gzip or gzip) read by parse_model, every
// kept triangle checked against its mesh's vertices, then freed.
#include "fuzz/fuzz_target.h"

#include "render/model.h"

#include <cstdlib>

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    place_input("fuzz/input.jm", input.data, input.size, input.selector % INPUT_FORMS);
    Model *model = parse_model("@fuzz/input.jm");
    for (const Model *mesh = model; mesh; mesh = mesh->next)
        for (int i = 0; i < mesh->triangle_count * 3; i++)
            if (mesh->triangles[i] < 0 || mesh->triangles[i] >= mesh->vertex_count)
                abort();
    free_model(model);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    const std::string square = "0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n1 1 0 0 0 1 1 1\n0 1 0 0 0 1 0 1\n";
    seeds->push_back({"old-layout", std::string(1, '\0') + "4 2\n" + square + "0 1 2 0 2 3\n"});
    seeds->push_back({"jm1-two-meshes", std::string(1, '\0') + "JM1\n32 1 1 0.5 0.25 4 2\n" + square +
                                            "0 1 2 0 2 3\n-1 0.5 1 1 1 3 1\n0 0 0 0 1 0 0 0\n1 0 0 0 1 0 1 0\n"
                                            "0 0 1 0 1 0 0 1\n0 1 2\n"});
    seeds->push_back({"jm2-weights", std::string(1, '\0') + "JM2\n2 skeleton\n16 1 1 1 1 3 1\n"
                                                            "0 0 0 0 0 1 0 0 1 0\n1 0 0 0 0 1 1 0 0.5 0.5\n"
                                                            "0 1 0 0 0 1 0 1 0 1\n0 1 2\n"});
    seeds->push_back({"gzip", std::string(1, '\2') + "JM1\n8 1 0.2 0.4 0.6 3 1\n0 0 0 0 0 1 0 0\n"
                                                     "1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n"});
}

RUT_FUZZ_TARGET(model, run, make_seeds);
