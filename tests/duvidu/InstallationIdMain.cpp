// duvidu_installation_id [THREADS]: asks for the installation id from THREADS threads at once (1 without an
// argument) and prints each answer on a line of its own, "<none>" for no id.
// duvidu_installation_id rewrite TEXT: asks once, puts TEXT into the installation file, asks again.
// The installation tests run it as a process of its own.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Duvidu/DuviduCacheDirectory.h"
#include "Duvidu/DuviduInstallation.h"

namespace {

std::string answer()
{
    return duvidu::DuviduInstallation::id().value_or("<none>");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "rewrite") {
        std::printf("%s\n", answer().c_str());
        std::ofstream(duvidu::duvidu_cacheDirectory() + "/INSTALLATION", std::ios::binary | std::ios::trunc) << argv[2];
        std::printf("%s\n", answer().c_str());
        return 0;
    }
    const int count = argc > 1 ? std::atoi(argv[1]) : 1;
    std::vector<std::string> answers(static_cast<size_t>(count));
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) threads.emplace_back([&answers, i] { answers[static_cast<size_t>(i)] = answer(); });
    for (auto& thread : threads) thread.join();
    for (const auto& line : answers) std::printf("%s\n", line.c_str());
    return 0;
}
