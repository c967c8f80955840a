// morvale_bench [NAME...]: runs the benchmarks (all, or those named) in order and ends
// with their figures, one `name: value` per line.
// morvale_bench --write-carve-image IMAGE: writes the carve benchmark's 2 GiB image only.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "bench.h"

namespace {

// In running order. New benchmarks are added here.
const benchmark benchmarks[] = {
    // First: the children it measures would inherit a larger process's peak memory.
    {"message-memory", message_memory_benchmarks},
    {"pst-memory", pst_memory_benchmarks},
    {"scan", scan_benchmarks},
    {"engine", engine_benchmarks},
    {"index", index_benchmarks},
    {"carve", carve_benchmarks},
    {"pst-time", pst_time_benchmarks},
    {"pst-large", pst_large_file_benchmarks},
};

bool wanted(const char* name, int argc, char** argv) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; i++)
        if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

}  // namespace

void bench_run::figure(const std::string& name, const std::string& value) {
    figures_.push_back(name + ": " + value);
    note("  => " + figures_.back());
}

void bench_run::note(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string fixed(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--scan-child") == 0) return scan_child(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--carve-child") == 0) return carve_child(argv[2]);

    std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / ("morvale-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    // The carve benchmark's image alone, for measuring other programs on it.
    if (argc == 3 && std::strcmp(argv[1], "--write-carve-image") == 0) {
        write_carve_image(argv[2], scratch);
        std::filesystem::remove_all(scratch);
        return 0;
    }
    bench_run run(scratch);
    int status = 0;
    for (const benchmark& entry : benchmarks) {
        if (!wanted(entry.name, argc, argv)) continue;
        run.note("== " + std::string(entry.name));
        try {
            entry.run(run);
        } catch (const std::exception& error) {
            run.note(std::string("benchmark failed: ") + error.what());
            status = 1;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    for (const std::string& line : run.figures()) std::printf("%s\n", line.c_str());
    return status;
}
