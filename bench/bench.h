#pragma once
// The benchmark program's small framework: each benchmark is a function that measures
// something and hands its figures to the run, which prints them all as the last lines of
// the output, one `name: value` per line, in the order the benchmarks ran.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

class bench_run {
  public:
    explicit bench_run(std::filesystem::path scratch) : scratch_(std::move(scratch)) {}

    // A folder for the benchmark's files; removed when the program ends.
    const std::filesystem::path& scratch() const { return scratch_; }

    // Records a figure for the closing lines and says it at once as well.
    void figure(const std::string& name, const std::string& value);
    // Prints a line of detail (goes before the figures).
    void note(const std::string& text);

    const std::vector<std::string>& figures() const { return figures_; }

  private:
    std::filesystem::path scratch_;
    std::vector<std::string> figures_;
};

struct benchmark {
    const char* name;
    void (*run)(bench_run& run);
};

// Seconds taken by `body`.
template <typename Body>
double seconds_of(Body&& body) {
    auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median of a handful of timings.
double median(std::vector<double> values);

// Text of a number with `digits` decimals.
std::string fixed(double value, int digits);

// The scan benchmarks (scan_bench.cpp), and what a child process runs to measure the
// scan's peak memory.
void scan_benchmarks(bench_run& run);
int scan_child(const char* path);

// The extraction-run benchmarks (engine_bench.cpp).
void engine_benchmarks(bench_run& run);

// Peak memory of save runs of one very large message (message_memory_bench.cpp).
void message_memory_benchmarks(bench_run& run);

// Carving a 2 GiB disk image against reading it (carve_bench.cpp).
void carve_benchmarks(bench_run& run);
// What a child process runs to measure carving's peak memory.
int carve_child(const char* path);
// Writes the carve benchmark's image to `image`, its stores made in `scratch` first.
void write_carve_image(const std::string& image, const std::filesystem::path& scratch);

// Reading a store's own index against a list-only run of it (index_bench.cpp).
void index_benchmarks(bench_run& run);

// Personal Folders output (pst_bench.cpp): its time against the .msg save, its peak memory
// for 100,000 messages, and a file past 4 GiB opened by pffinfo.
void pst_time_benchmarks(bench_run& run);
void pst_memory_benchmarks(bench_run& run);
void pst_large_file_benchmarks(bench_run& run);
