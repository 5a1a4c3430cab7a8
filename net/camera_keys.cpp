// The camera keyframe list; the console's commands fill it.
#include "net/camera_keys.h"

GrowableArray camera_keys;
int keycam_mode;
