#include "Duvidu/DuviduFileText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include <gtest/gtest.h>

using namespace duvidu;

namespace {

// A pipe takes far less than a megabyte per write: the rest must follow in further writes, in order.
TEST(DuviduFileTextTest, WriteAllGoesOnAfterPartialWrites)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::string sent(1 << 20, '\0');
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('a' + i % 26);
    std::string received;
    std::thread reader([&] {
        char buffer[4096];
        for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<size_t>(n));
    });
    EXPECT_TRUE(duvidu_writeAll(ends[1], sent.data(), sent.size()));
    close(ends[1]);
    reader.join();
    close(ends[0]);
    EXPECT_EQ(received, sent);
}

TEST(DuviduFileTextTest, WriteAllFailsWithTheReasonOfTheFailedWrite)
{
    const int file = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    errno = 0;
    EXPECT_FALSE(duvidu_writeAll(file, "x", 1));
    EXPECT_EQ(errno, EBADF);
    close(file);
}

}  // namespace
