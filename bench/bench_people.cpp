// What counting per person costs: `lifelog top call number --by person`
// against the plain `lifelog top call number` on 100,000 calls, both run as
// the user runs them (a process each, its CPU time counted).  The calls go
// to 200 people, each of whose US numbers is logged three ways
// ("+1 (234) 500-0042", "234-500-0042", "(234) 500-0042"): 600 distinct
// numbers that the grouped run turns into 200 people, every one of them
// named in a contacts store read from a vCard file.
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "bench_tool.h"
#include "zkivLifelogUtil.h"
#include "zkivLifelogger.h"

namespace {

constexpr int kRows = 100000;
constexpr int kPeople = 200;

// The j-th call's number: person j % 200, spelling j / 200 % 3.
constexpr const char* kNumber =
    "CASE (j / 200) % 3 WHEN 0 THEN '+1 (234) 5' || printf('%02d-%04d', (j % 200) / 100, j % 200) "
    "WHEN 1 THEN '234-5' || printf('%02d-%04d', (j % 200) / 100, j % 200) "
    "ELSE '(234) 5' || printf('%02d-%04d', (j % 200) / 100, j % 200) END";

void fill() {
    bench::writeConfig(1000000);
    unsigned int err = 0;
    ZLifelogger_delete(_CreateDBLifeLogger(&err, 1000000));
    bench::execOn(bench::hostPath(bench::kDbPath),
                  "WITH RECURSIVE k(j) AS (SELECT " + std::to_string(kRows - 1) +
                      " UNION ALL SELECT j - 1 FROM k WHERE j > 0) INSERT INTO ACTIVITY_CALL "
                      "(CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, CLOG_PHONE_NUMBER, "
                      "CLOG_TIMESTAMP) SELECT j % 3, 20 + j % 600, 0, " +
                      std::string(kNumber) +
                      ", strftime('%Y-%m-%d %H:%M:%S', '2024-12-31 23:59:00', '-' || (j * 300) "
                      "|| ' seconds') FROM k");
}

// Everyone of the calls as a vCard, read into the contacts store by the tool.
bool namePeople() {
    const std::string cards = (bench::root() / "people.vcf").string();
    std::ofstream out(cards);
    for (int i = 0; i < kPeople; ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "+1 234 5%02d %04d", i / 100, i);
        out << "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Person " << i << "\r\nTEL;TYPE=CELL:" << number
            << "\r\nEND:VCARD\r\n";
    }
    out.close();
    pid_t pid = bench::spawn({LIFELOG_TOOL, "--root", bench::root().string(), "--region", "US",
                              "contacts", "import", cards},
                             nullptr);
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// One run of the tool; its CPU time goes to the "child_cpu" counter.
void runTool(benchmark::State& state, const std::vector<std::string>& args) {
    double cpu = 0;
    for (auto _ : state) {
        pid_t pid = bench::spawn(args, nullptr);
        int status = 0;
        rusage usage{};
        if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("lifelog failed");
            return;
        }
        cpu += usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
               usage.ru_stime.tv_usec / 1e6;
    }
    state.counters["child_cpu"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

void registerAll() {
    const std::string root = bench::root().string();
    const std::vector<std::string> plain = {LIFELOG_TOOL, "--root", root, "top", "call", "number"};
    std::vector<std::string> grouped = plain;
    grouped.insert(grouped.end(), {"--by", "person"});
    benchmark::RegisterBenchmark("top-by-person/ours",
                                 [grouped](benchmark::State& state) { runTool(state, grouped); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("top-by-person/raw",
                                 [plain](benchmark::State& state) { runTool(state, plain); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
    return bench::runBenchmarks(
        argc, argv,
        [] {
            fill();
            if (!namePeople()) {
                std::fprintf(stderr, "bench: lifelog contacts import failed\n");
                return;
            }
            registerAll();
        },
        [] {
            std::printf(
                "(top-by-person: `top call number --by person` against the plain `top "
                "call number`, %d calls from %d people in three spellings each; "
                "the target is a ratio of at most 2)\n",
                kRows, kPeople);
        });
}
