// The game data the shell relies on: the track a first start selects and
// the digest of the stock collision shapes our data generator writes.
#pragma once

extern const char DEFAULT_TRACK_FOLDER[];         // "tracks/cinder_hollow"
extern const char GENERATED_STOCK_SHAPE_DIGEST[]; // 40 lower-case hexadecimal digits
