// Benchmarks run with the time zone settled as the scheduler settles it at
// start, so that date arithmetic costs what it costs in the daemon.
#include "clock.h"

#include <benchmark/benchmark.h>

int main(int argc, char **argv)
{
    Orvel::Clock::settleZone();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
