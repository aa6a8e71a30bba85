#pragma once

#include <chrono>

// A time limit of the application that its tests shorten: the environment variable `variable` in milliseconds when it
// holds a positive integer, else `standard`. Read once, where the limit is set up at the start.
std::chrono::milliseconds limitSetting(const char* variable, std::chrono::milliseconds standard);
