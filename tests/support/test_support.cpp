// Helpers shared by the test programs and the main() of every test program.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <vector>
#include <fcntl.h>
#include <ftw.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bike/bike_create.h"
#include "bike/bike_state.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "race/race_control.h"
#include "track/track.h"

static std::string g_test_dir;
static pid_t g_owner_pid;   // forked children must not remove the folder

const std::string &test_dir() { return g_test_dir; }
std::string test_home_dir() { return g_test_dir + "/xdg/Rutline/"; }
std::string test_data_dir() { return g_test_dir + "/data/"; }

static void make_parents(const std::string &path)
{
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

bool write_file(const std::string &path, const std::string &bytes)
{
    make_parents(path);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool read_file(const std::string &path, std::string *bytes)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes->clear();
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes->append(buf, n);
    fclose(f);
    return true;
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string gzip_bytes(const std::string &bytes)
{
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::string();
    std::string out(deflateBound(&zs, bytes.size()) + 64, '\0');
    zs.next_in = (Bytef *)bytes.data();
    zs.avail_in = (uInt)bytes.size();
    zs.next_out = (Bytef *)out.data();
    zs.avail_out = (uInt)out.size();
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? out : std::string();
}

// Waits for the child until the deadline; kills it then and fails the test.
static int wait_for_child(pid_t pid, int timeout_seconds)
{
    double waited = 0;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0)
            return -1;
        if (waited >= timeout_seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            ADD_FAILURE() << "the child process did not end within " << timeout_seconds << " s: killed";
            return -1;
        }
        usleep(10000);
        waited += 0.01;
    }
}

int run_in_child(const std::function<void()> &body, std::string *stderr_text, int timeout_seconds)
{
    static int child_number;
    std::string capture = g_test_dir + "/child-stderr-" + std::to_string(child_number++);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (FILE *f = freopen(capture.c_str(), "w", stderr))
            setvbuf(f, nullptr, _IONBF, 0);
        body();
        fflush(nullptr);
        _exit(0);
    }
    int status = wait_for_child(pid, timeout_seconds);
    if (stderr_text && !read_file(capture, stderr_text))
        stderr_text->clear();
    return status;
}

static const char FRESH_PROCESS_VARIABLE[] = "RUTLINE_FRESH_TEST_PROCESS";

bool in_fresh_process()
{
    return getenv(FRESH_PROCESS_VARIABLE) != nullptr;
}

int run_test_in_fresh_process(std::string *output, int timeout_seconds)
{
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    if (!test) {
        ADD_FAILURE() << "no test is running";
        return -1;
    }
    static int child_number;
    std::string capture = g_test_dir + "/fresh-output-" + std::to_string(child_number++);
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        ADD_FAILURE() << "cannot find this test program";
        return -1;
    }
    self[length] = 0;
    // Everything the child needs is made before the fork: between fork and
    // exec it only moves descriptors, since other threads' locks may be held.
    int out = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        ADD_FAILURE() << "cannot open " << capture;
        return -1;
    }
    std::vector<std::string> environment_text;
    for (char **entry = environ; *entry; entry++)
        environment_text.push_back(*entry);
    environment_text.push_back(std::string(FRESH_PROCESS_VARIABLE) + "=1");
    std::vector<char *> environment;
    for (std::string &entry : environment_text)
        environment.push_back(entry.data());
    environment.push_back(nullptr);
    char *arguments[] = {self, filter.data(), nullptr};
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, 1);
        dup2(out, 2);
        execve(self, arguments, environment.data());
        _exit(127);
    }
    close(out);
    if (pid < 0) {
        ADD_FAILURE() << "fork failed";
        return -1;
    }
    int status = wait_for_child(pid, timeout_seconds);
    std::string text;
    read_file(capture, &text);
    if (output)
        *output = text;
    // A filter that ran no test would pass without testing anything.
    if (status == 0 && text.find("[  PASSED  ] 1 test.") == std::string::npos) {
        ADD_FAILURE() << "the fresh process did not run the test:\n" << text;
        return -1;
    }
    return status;
}

int run_with_file_limit(long limit, const std::function<int()> &body)
{
    static int child_number;
    std::string capture = g_test_dir + "/limited-stderr-" + std::to_string(child_number++);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (FILE *f = freopen(capture.c_str(), "w", stderr))
            setvbuf(f, nullptr, _IONBF, 0);
        if (limit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit bound = {(rlim_t)limit, (rlim_t)limit};
            if (setrlimit(RLIMIT_FSIZE, &bound) != 0)
                _exit(255);
        }
        int result = body();
        fflush(nullptr);
        _exit(result & 255);
    }
    return wait_for_child(pid, CHILD_TIMEOUT_SECONDS);
}

std::vector<std::string> files_ending_in(const std::string &folder, const std::string &ending)
{
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::string name = it->path().string();
        if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            found.push_back(name);
    }
    return found;
}

static int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

static void remove_test_dir()
{
    if (!g_test_dir.empty() && getpid() == g_owner_pid && !getenv("RUTLINE_KEEP_TEST_DIR"))
        nftw(g_test_dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

int main(int argc, char **argv)
{
    const char *tmp = getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/rutline-test-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        perror("mkdtemp");
        return 2;
    }
    g_test_dir = buf.data();
    g_owner_pid = getpid();
    mkdir((g_test_dir + "/xdg").c_str(), 0755);
    mkdir((g_test_dir + "/data").c_str(), 0755);
    setenv("XDG_DATA_HOME", (g_test_dir + "/xdg").c_str(), 1);
    setenv("KZ_HOME", (g_test_dir + "/data").c_str(), 1);
    // Settings of the developer's shell must not leak into tests.
    unsetenv("VOKE_LOGFILE");
    unsetenv("VOKE_LOGFILE_FLAGS");
    unsetenv("VOKE_OPTIONS");
    unsetenv("KZ_CHECK_ALLOC");
    atexit(remove_test_dir);

    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (in_fresh_process()) {
        // The parent judges by the status; the exit-time leak check of a
        // process that ran a window has crashed in its own thread tracer.
        fflush(nullptr);
        remove_test_dir();
        _exit(result);
    }
    return result;
}

void free_race_world()
{
    end_race();
    for (BikeState &bike : bike_states)
        free_bike(&bike);
    destroy_physics_world();
    free_track();
    free_shape_cache();
    free_track_catalogue();
    set_track_folder(nullptr);
}
