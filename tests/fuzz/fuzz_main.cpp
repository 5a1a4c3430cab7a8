// The libFuzzer entry of one fuzz program: a private temporary game data
// and home folder for the process, then every input through the one target
// linked in.
#include "fuzz/fuzz_target.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

static std::string work_folder;
static pid_t owner;
static const FuzzTarget *target;

static int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

static void remove_work_folder(void)
{
    if (!work_folder.empty() && getpid() == owner)
        nftw(work_folder.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/rutline-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        perror("mkdtemp");
        exit(1);
    }
    work_folder = name.data();
    owner = getpid();
    atexit(remove_work_folder);
    std::string data = work_folder + "/data", xdg = work_folder + "/xdg";
    mkdir(data.c_str(), 0755);
    mkdir(xdg.c_str(), 0755);
    setenv("KZ_HOME", data.c_str(), 1);
    setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    // The game's log is off while fuzzing; RUTLINE_FUZZ_LOG names a file for it.
    const char *log = getenv("RUTLINE_FUZZ_LOG");
    if (log && log[0])
        setenv("VOKE_LOGFILE", log, 1);
    else
        unsetenv("VOKE_LOGFILE");
    unsetenv("VOKE_OPTIONS");
    if (fuzz_targets().size() != 1) {
        fprintf(stderr, "a fuzz program links exactly one target (%d linked)\n", (int)fuzz_targets().size());
        exit(1);
    }
    target = &fuzz_targets()[0];
    write_stand_in_files();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return target->run(data, size);
}
