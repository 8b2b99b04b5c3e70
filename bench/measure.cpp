// Runs a command several times and prints its wall time (median, minimum,
// maximum, in seconds), its peak resident memory (KiB) and its exit status
// (the first non-zero one; -1 when killed by a signal), tab-separated:
//   bench_measure RUNS command args...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Sample {
    double seconds;
    long peak_kib;
    int status;
};

Sample run_once(char** argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execvp(argv[0], argv);
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss,
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RUNS command args...\n", argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::vector<double> times;
    long peak = 0;
    int status = 0;
    for (int i = 0; i < runs; ++i) {
        const Sample s = run_once(argv + 2);
        times.push_back(s.seconds);
        peak = std::max(peak, s.peak_kib);
        if (status == 0) status = s.status;  // the first failure, not only the last run's
    }
    std::sort(times.begin(), times.end());
    std::printf("%.4f\t%.4f\t%.4f\t%ld\t%d\n", times[times.size() / 2], times.front(), times.back(), peak, status);
    return 0;
}
