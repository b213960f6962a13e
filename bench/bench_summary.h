// One run of a benchmark program: every benchmark repeated (median of the repetitions),
// the usual console lines, then a table that sets each figure beside its floor or its
// target.
#pragma once

#include <string>
#include <vector>

// How a line of the summary judges its figure.
enum class FigureKind {
    Ratio,      // measured time / floor time, at most `target`
    TimeMs,     // measured time in milliseconds, at most `target`
    CounterMiB  // counter `counter` of the measured benchmark, in MiB, at most `target`
};

struct Figure {
    std::string label;
    FigureKind kind;
    std::string measured;  // benchmark name, as Google Benchmark prints it without aggregates
    std::string floor;     // benchmark name of the floor (Ratio only)
    double target;         // 0: shown for comparison, without a verdict
    std::string counter;   // CounterMiB only
};

// Runs the registered benchmarks and prints the summary of `figures`. Adds
// --benchmark_repetitions=5 and --benchmark_report_aggregates_only=true unless the
// command line chooses otherwise. Returns the process exit code: 0, also when a figure
// misses its target (the table says so); 1 for a bad command line.
int runBenchmarksWithSummary(int argc, char** argv, const std::vector<Figure>& figures);

// The resident memory of this process (VmRSS), in bytes; -1 when unknown.
double residentBytes();

// A private folder under $TMPDIR (or /tmp), removed with everything in it at exit.
std::string benchFolder();

// Writes `size` pseudo-random bytes to `path`; false on failure.
bool writeNoiseFile(const std::string& path, int64_t size);
