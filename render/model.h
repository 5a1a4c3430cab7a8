// Models as the lower subsystems see them. No model is loaded until the
// renderer exists: load_model gives null.
#pragma once

struct Model {
    char *name;
};

extern int model_generation;

Model *load_model(const char *name);
const char *get_model_name(const Model *model);
void free_models(int all);

// A stand-in loader (for tests and tools until the renderer exists): it gets
// the name and returns a model it owns, or null; null restores the default.
typedef Model *(*ModelLoader)(const char *name);
void set_model_loader(ModelLoader loader);
