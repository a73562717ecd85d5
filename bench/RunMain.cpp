// The benchmark where only the engine can be measured (Windows, under wine): one engine run on a
// workload that vandor_bench --keep left behind on Linux.
#include "bench/EngineRun.h"

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 5 || std::strcmp(argv[1], "--run") != 0) {
        std::fprintf(stderr, "usage: vandor_bench --run ORG DEFINITION OUTPUT\n");
        return 2;
    }
    try {
        const bench::EngineRun run = bench::RunEngine(argv[2], argv[3], argv[4]);
        std::printf("engine %.3f s, CPU %.3f s, in the kernel %.3f s\n", run.seconds,
            run.cpuSeconds, run.systemSeconds);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vandor_bench: %s\n", error.what());
        return 1;
    }
}
