#include "duvidu-bench-support/BenchFigures.h"

#include <algorithm>
#include <cstdio>

namespace vcbench {

double percentile(const std::vector<double>& sorted, int percent)
{
    return sorted[std::min(sorted.size() - 1, sorted.size() * static_cast<size_t>(percent) / 100)];
}

void printMedianAndP99(const char* what, std::vector<double> micros, int labelWidth)
{
    std::sort(micros.begin(), micros.end());
    std::printf("%-*s n=%-5zu median %8.1f us   p99 %8.1f us\n", labelWidth, what, micros.size(),
                percentile(micros, 50), percentile(micros, 99));
}

}  // namespace vcbench
