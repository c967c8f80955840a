#include "bench_files.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "bench.h"
#include "tools/dbxgen/dbxgen.h"

quiet_stdout::quiet_stdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
}

quiet_stdout::~quiet_stdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
}

bool settle(FILE* out) {
    bool flushed = std::fflush(out) == 0 && fsync(fileno(out)) == 0;
    return std::fclose(out) == 0 && flushed;
}

void write_realistic_store(const std::string& path, uint64_t size, bool index) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot create " + path);
    dbxgen::store_options options;
    options.seed = 2003;
    options.messages = 10;
    options.deleted = 1;
    options.size = size;
    options.fill = true;
    options.index = index;
    int64_t written = dbxgen::write_store(options, out);
    if (!settle(out) || written < 0) throw std::runtime_error("cannot write " + path);
}

child_usage run_child(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    // A child's peak counts this process's memory as it was at the fork: what earlier
    // benchmarks freed is given back first.
    malloc_trim(0);
    child_usage usage{};
    pid_t child = -1;
    struct rusage resources {};
    int status = 0;
    usage.seconds = seconds_of([&] {
        child = fork();
        if (child == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (child > 0) wait4(child, &status, 0, &resources);
    });
    if (child < 0) throw std::runtime_error("fork failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(args[0] + " failed with status " + std::to_string(status));
    }
    usage.peak_kib = resources.ru_maxrss;
    usage.processor_seconds = double(resources.ru_utime.tv_sec + resources.ru_stime.tv_sec) +
                              double(resources.ru_utime.tv_usec + resources.ru_stime.tv_usec) / 1e6;
    return usage;
}
