// Models until the renderer exists: none is loaded.
#include "render/model.h"

int model_generation;

static ModelLoader model_loader;

void set_model_loader(ModelLoader loader)
{
    model_loader = loader;
}

Model *load_model(const char *name)
{
    return name && model_loader ? model_loader(name) : nullptr;
}

const char *get_model_name(const Model *model)
{
    return model ? model->name : nullptr;
}

void free_models(int all)
{
    (void)all;
}
