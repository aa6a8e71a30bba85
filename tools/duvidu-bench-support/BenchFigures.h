#pragma once

#include <vector>

namespace vcbench {

// The figure `percent` percent of the way up sorted figures (not empty): the one at index size * percent / 100, or
// the last one.
double percentile(const std::vector<double>& sorted, int percent);

// Prints one line "<what> n=<count> median <m> us   p99 <p> us" for timings in microseconds, the label padded to
// `labelWidth` so that the lines of one run line up.
void printMedianAndP99(const char* what, std::vector<double> micros, int labelWidth);

}  // namespace vcbench
