#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

namespace {

struct Result {
    double nanoseconds = NAN;     // real time
    double cpuNanoseconds = NAN;  // this thread's processor time, the kernel's work for it included
    std::map<std::string, double> counters;
};

// The console lines as usual, and the median of each benchmark's repetitions (or its
// only run) kept for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
   public:
    void ReportRuns(const std::vector<Run>& runs) override {
        benchmark::ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!median && !single) continue;
            Result& result = results[run.run_name.str()];
            const double toNanoseconds = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            result.nanoseconds = run.GetAdjustedRealTime() * toNanoseconds;
            result.cpuNanoseconds = run.GetAdjustedCPUTime() * toNanoseconds;
            for (const auto& [name, counter] : run.counters) result.counters[name] = counter.value;
        }
    }

    std::map<std::string, Result> results;
};

std::string timeText(double nanoseconds) {
    char text[32];
    if (std::isnan(nanoseconds)) return "-";
    if (nanoseconds >= 1e6) {
        std::snprintf(text, sizeof text, "%.2f ms", nanoseconds / 1e6);
    } else if (nanoseconds >= 1e3) {
        std::snprintf(text, sizeof text, "%.1f us", nanoseconds / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.0f ns", nanoseconds);
    }
    return text;
}

std::string numberText(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

const Result* findResult(const std::map<std::string, Result>& results, const std::string& name) {
    auto found = results.find(name);
    return found == results.end() ? nullptr : &found->second;
}

// The verdict goes by real time; the ratio of processor times beside it shows how much of
// a miss is waiting for a processor that others were using.
void printSummary(const std::map<std::string, Result>& results, const std::vector<Figure>& figures) {
    std::printf("\n%-50s %11s %11s %8s %9s %11s\n", "Figure", "measured", "floor", "ratio", "cpu ratio",
                "target");
    for (const Figure& figure : figures) {
        const Result* measured = findResult(results, figure.measured);
        const Result* floor = findResult(results, figure.floor);
        std::string measuredText = timeText(measured != nullptr ? measured->nanoseconds : NAN);
        std::string floorText, ratioText, cpuRatioText, targetText;
        double value = NAN;
        switch (figure.kind) {
            case FigureKind::Ratio:
                if (measured != nullptr && floor != nullptr) {
                    value = measured->nanoseconds / floor->nanoseconds;
                    floorText = timeText(floor->nanoseconds);
                    ratioText = numberText("%.2fx", value);
                    cpuRatioText = numberText("%.2fx", measured->cpuNanoseconds / floor->cpuNanoseconds);
                }
                targetText = numberText("<= %gx", figure.target);
                break;
            case FigureKind::TimeMs:
                if (measured != nullptr) value = measured->nanoseconds / 1e6;
                targetText = numberText("<= %g ms", figure.target);
                break;
            case FigureKind::CounterMiB:
                if (measured != nullptr && measured->counters.count(figure.counter) != 0)
                    value = measured->counters.at(figure.counter) / (1024.0 * 1024.0);
                if (!std::isnan(value)) measuredText = numberText("%.1f MiB", value);
                targetText = numberText("<= %g MiB", figure.target);
                break;
        }
        if (figure.target <= 0) targetText = std::string(1, '-');
        const char* verdict = std::isnan(value)        ? "not run"
                              : figure.target <= 0     ? "for comparison"
                              : value <= figure.target ? "ok"
                                                       : "MISSED";
        std::printf("%-50s %11s %11s %8s %9s %11s  %s\n", figure.label.c_str(), measuredText.c_str(),
                    floorText.c_str(), ratioText.c_str(), cpuRatioText.c_str(), targetText.c_str(), verdict);
    }
    std::fflush(stdout);
}

bool hasOption(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], name, std::strlen(name)) == 0) return true;
    }
    return false;
}

std::string createdFolder;

void removeBenchFolder() {
    std::error_code ignored;
    if (!createdFolder.empty()) std::filesystem::remove_all(createdFolder, ignored);
}

}  // namespace

int runBenchmarksWithSummary(int argc, char** argv, const std::vector<Figure>& figures) {
    std::vector<char*> arguments(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregatesOnly = "--benchmark_report_aggregates_only=true";
    if (!hasOption(argc, argv, "--benchmark_repetitions")) arguments.push_back(repetitions.data());
    if (!hasOption(argc, argv, "--benchmark_report_aggregates_only") &&
        !hasOption(argc, argv, "--benchmark_display_aggregates_only"))
        arguments.push_back(aggregatesOnly.data());
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(reporter.results, figures);
    return 0;
}

double residentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) * 1024.0;  // in kB
    }
    return -1;
}

std::string benchFolder() {
    if (!createdFolder.empty()) return createdFolder;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pl-bench.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) return std::string();
    createdFolder = name.data();
    std::atexit(removeBenchFolder);
    return createdFolder;
}

bool writeNoiseFile(const std::string& path, int64_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::vector<uint8_t> piece(1 << 20);
    uint32_t state = 0x9E3779B9u;
    bool ok = true;
    for (int64_t done = 0; ok && done < size;) {
        for (uint8_t& byte : piece) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<uint8_t>(state >> 24);
        }
        const size_t count = static_cast<size_t>(std::min<int64_t>(size - done, int64_t(piece.size())));
        ok = write(fd, piece.data(), count) == static_cast<ssize_t>(count);
        done += static_cast<int64_t>(count);
    }
    return close(fd) == 0 && ok;
}
