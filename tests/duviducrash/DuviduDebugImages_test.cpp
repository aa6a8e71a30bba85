#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "Duvidu/DuviduDebugImageProvider.h"
#include "Duvidu/DuviduInAppLogic.h"
#include "Duvidu/DuviduStacktraceBuilder.h"
#include "support/HostProgram.h"

using namespace duvidu;

namespace {

// The build id that readelf prints for the file, in lower-case hexadecimal; empty when it prints none.
std::string readelfBuildId(const std::string& path)
{
    FILE* pipe = popen((vctest::hostProgram("readelf") + " -n '" + path + "'").c_str(), "r");
    if (!pipe) return "";
    std::string id;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text = line;
        auto at = text.find("Build ID: ");
        if (at != std::string::npos && id.empty()) {
            id = text.substr(at + 10);
            while (!id.empty() && std::isspace(static_cast<unsigned char>(id.back()))) id.pop_back();
        }
    }
    pclose(pipe);
    return id;
}

// The first 16 bytes of a hexadecimal build id in the debug-id form.
std::string debugIdOf(const std::string& buildId)
{
    std::string text;
    for (size_t i = 0; i < 32 && i < buildId.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) text += '-';
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(buildId[i])));
    }
    return text;
}

const DuviduDebugMeta* imageOf(const std::vector<DuviduDebugMeta>& images, const std::string& path)
{
    for (const auto& image : images) {
        if (image.codeFile == path) return &image;
    }
    return nullptr;
}

TEST(DuviduDebugImagesTest, TheProgramsDebugIdIsItsBuildId)
{
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();
    const std::string buildId = readelfBuildId(program);
    ASSERT_GE(buildId.size(), 32u) << "readelf printed no build id for " << program;

    auto images = DuviduDebugImageProvider().getDebugImagesCrashed(false);
    ASSERT_FALSE(images.empty());
    EXPECT_EQ(images[0].codeFile, program);  // the main program comes first, under its real path
    const DuviduDebugMeta* own = imageOf(images, program);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->debugID, debugIdOf(buildId));
    EXPECT_EQ(own->type, "elf");
    // A position-independent program is linked at 0, so it has no virtual address of its own.
    EXPECT_FALSE(own->imageVmAddress.has_value());

    bool libc = false;
    for (const auto& image : images) {
        if (!image.codeFile || image.codeFile->find("/libc.so") == std::string::npos) continue;
        libc = true;
        EXPECT_EQ(image.debugID, debugIdOf(readelfBuildId(*image.codeFile)));
    }
    EXPECT_TRUE(libc);
}

TEST(DuviduDebugImagesTest, FramesOfTheCallingThreadLieInTheImagesTheyName)
{
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();
    DuviduStacktraceBuilder builder(std::make_shared<DuviduCrashStackEntryMapper>(
        std::make_shared<DuviduInAppLogic>(std::vector<std::string>{}, std::vector<std::string>{})));
    auto frames = builder.buildStacktraceForCurrentThread().frames;
    size_t inProgram = 0;
    for (const auto& frame : frames) inProgram += frame.package == program;
    ASSERT_GE(inProgram, 2u);

    DuviduDebugImageProvider provider;
    auto images = provider.getDebugImagesForFrames(frames, false);
    std::set<std::string> packages, codeFiles;
    for (const auto& frame : frames) packages.insert(*frame.package);
    for (const auto& image : images) codeFiles.insert(*image.codeFile);
    // Every image once, however many frames lie in it, and in the order of the image list.
    EXPECT_EQ(codeFiles, packages);
    EXPECT_EQ(images.size(), codeFiles.size());
    EXPECT_EQ(images[0].codeFile, program);
    for (const auto& frame : frames) {
        const DuviduDebugMeta* image = imageOf(images, *frame.package);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(frame.imageAddress, image->imageAddress);
        uint64_t instruction = std::stoull(*frame.instructionAddress, nullptr, 16);
        uint64_t start = std::stoull(*image->imageAddress, nullptr, 16);
        EXPECT_LT(instruction - start, *image->imageSize) << *frame.package;
    }
}

}  // namespace
