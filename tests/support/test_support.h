// Helpers shared by the test programs.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The temporary folder of this test process (removed at exit). The test main
// also points XDG_DATA_HOME at test_dir()/xdg and KZ_HOME at test_dir()/data.
const std::string &test_dir();
std::string test_home_dir();   // $XDG_DATA_HOME/Rutline/ (not created)
std::string test_data_dir();   // $KZ_HOME/ (created)

// Whole-file helpers for fixtures. write_file creates parent folders.
bool write_file(const std::string &path, const std::string &bytes);
bool read_file(const std::string &path, std::string *bytes);
bool file_exists(const std::string &path);

// gzip-compress bytes with zlib (a standard gzip member).
std::string gzip_bytes(const std::string &bytes);

// A child process that has not ended by then is killed and fails the test.
constexpr int CHILD_TIMEOUT_SECONDS = 60;

// Runs body in a forked child process (for process-wide state that is set up
// once, such as the log or the allocation checker). Returns the child's exit
// status (0 when body returned normally, -1 when it did not exit or was
// killed at the time-out) and, when stderr_text is given, what the child
// wrote to standard error. Not after a window or GL context was opened in
// this process: a fork copies their threads' locks held; use
// run_test_in_fresh_process there.
int run_in_child(const std::function<void()> &body, std::string *stderr_text = nullptr,
                 int timeout_seconds = CHILD_TIMEOUT_SECONDS);

// Runs the current test again, alone, in a fresh process of this test
// program (exec), where in_fresh_process() is true; a test calls this and
// returns when in_fresh_process() is false. Returns that process's exit
// status (0 when the test passed there, -1 when it was killed at the
// time-out or ran no test), its output in *output.
int run_test_in_fresh_process(std::string *output = nullptr, int timeout_seconds = CHILD_TIMEOUT_SECONDS);
bool in_fresh_process();

// Runs body in a forked child whose files may grow to at most limit bytes
// (RLIMIT_FSIZE; SIGXFSZ ignored, so a write past it fails with EFBIG);
// limit 0 sets none. The child's exit status is body's result (0..255), -1
// when it did not exit or was killed at the time-out. Fork only while the
// process has no GL threads: a body that needs GL opens its own window in
// the child.
int run_with_file_limit(long limit, const std::function<int()> &body);

// Every file under the folder whose name ends in the ending (recursively).
std::vector<std::string> files_ending_in(const std::string &folder, const std::string &ending);

// Ends a race fixture: the race, every bike, the physics world, the track,
// the shape cache, the catalogue and the track folder.
void free_race_world();
