#include "Duvidu/DuviduLogOutput.h"

#include <unistd.h>

namespace duvidu {

void DuviduLogOutput::log(const std::string& line)
{
    // One write per line, so that lines from several threads never interleave.
    std::string text = line + "\n";
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, data, left);
        if (n <= 0) return;
        data += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace duvidu
