#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace brivet::bench {
bool prepareStoreBench();
bool prepareHistoryBench();
} // namespace brivet::bench

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (!brivet::bench::prepareStoreBench() || !brivet::bench::prepareHistoryBench())
        return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
