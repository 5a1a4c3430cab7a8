// The default track and the generated stock shapes' digest.
#include "app/default_data.h"

const char DEFAULT_TRACK_FOLDER[] = "tracks/cinder_hollow";
const char GENERATED_STOCK_SHAPE_DIGEST[] = "2dc693758944937e733a9e7d01ada83f6d5aa953";
