// bench_process_send [RUNS]: a whole-process `quarnel-test-utility send
// 00CA000000` against raw_send, a bare C program making the same PC/SC calls,
// started alternately RUNS times each (default 40) so that both meet the same
// machine. Prints the median wall time and CPU time (user + system, from the
// child's rusage) of each and their ratios; asserts nothing. Run it inside
// scripts/with-sim-pcscd.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

struct ProcessCost {
    double wallMs;
    double cpuMs;
};

double NowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Runs `argv` with its output thrown away; false when it does not exit 0.
bool Run(char* const argv[], ProcessCost* cost)
{
    double start = NowMs();
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (!freopen("/dev/null", "w", stdout))
            _exit(127);
        execv(argv[0], argv);
        _exit(127);
    }
    int status;
    rusage usage;
    if (wait4(child, &status, 0, &usage) != child)
        return false;
    cost->wallMs = NowMs() - start;
    cost->cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 40;
    if (runs < 1)
        runs = 40;
    char apdu[] = "00CA000000";
    char send[] = "send";
    char program[] = QTU_PROGRAM_PATH;
    char raw[] = QTU_RAW_SEND_PATH;
    char* const programArgv[] = {program, send, apdu, nullptr};
    char* const rawArgv[] = {raw, apdu, nullptr};
    std::vector<double> programWall, programCpu, rawWall, rawCpu;
    for (int i = 0; i < runs; ++i) {
        ProcessCost cost;
        if (!Run(rawArgv, &cost)) {
            fprintf(stderr, "bench_process_send: raw_send failed (is a card present?)\n");
            return 1;
        }
        rawWall.push_back(cost.wallMs);
        rawCpu.push_back(cost.cpuMs);
        if (!Run(programArgv, &cost)) {
            fprintf(stderr, "bench_process_send: the program's send failed\n");
            return 1;
        }
        programWall.push_back(cost.wallMs);
        programCpu.push_back(cost.cpuMs);
    }
    double rawWallMs = Median(rawWall), programWallMs = Median(programWall);
    double rawCpuMs = Median(rawCpu), programCpuMs = Median(programCpu);
    printf("runs: %d each, alternating\n", runs);
    printf("raw_send:     wall %.2f ms, cpu %.2f ms (medians)\n", rawWallMs, rawCpuMs);
    printf("program send: wall %.2f ms, cpu %.2f ms (medians)\n", programWallMs, programCpuMs);
    printf("ratio_wall=%.2f\nratio_cpu=%.2f\n", programWallMs / rawWallMs,
           rawCpuMs > 0 ? programCpuMs / rawCpuMs : 0.0);
    return 0;
}
