// Key=value text files of the settings ("@config" and setup files): lines
// read with the rejected ones logged, and lines written whole into a
// temporary file that replaces the old one only when every write worked.
#pragma once

struct GameFile;

enum { KEY_VALUE_LINE_LENGTH = 1023, KEY_VALUE_LOGGED_REJECTS = 10 };

// What a handler made of a line.
enum { LINE_UNKNOWN_KEY = 0, LINE_TAKEN = 1, LINE_REFUSED = -1 };

typedef int (*KeyValueHandler)(const char *key, const char *value);

// Hands every line of the file to the handler: the key is the text before
// the first '=', the value the rest less trailing CR and LF. Lines longer
// than 1023 characters, holding NUL bytes or no '=' never reach it. The
// first ten rejected lines are logged by line number, then a count. 0 when
// the file cannot be opened.
int read_key_value_file(const char *path, KeyValueHandler handler);

// One "key=value\n" line; the value stops at a line break. 1 when written.
int write_key_value(GameFile *file, const char *key, const char *value);

// Writes a settings file through the checked replacement (core/replace_file.h)
// with a writer that fills the open file and returns 1 when it wrote all it
// meant to; any failure keeps the old file and logs a line. 1 when the file
// was replaced.
int replace_key_value_file(const char *path, int (*writer)(GameFile *file));
