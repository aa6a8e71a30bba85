#include <memory>
#include <vector>

#include "Duvidu/DuviduDebugImageProvider.h"
#include "Duvidu/DuviduExtraContextProvider.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

const uint8_t kUuid[16] = {0xc2, 0x74, 0xa7, 0xfe, 0xed, 0x40, 0x4e, 0x4e,
                           0x3e, 0x7e, 0x0b, 0x9f, 0x12, 0x9b, 0xdb, 0xd3};

class FixedImages : public DuviduCrashBinaryImageProvider {
public:
    std::vector<DuviduCrashBinaryImage> images{
        {0x555500000000, 0, 0x5000, "/opt/demo/Demo", kUuid},
        {0x7f0000000000, 0x400000, 0x2000, "/lib/libc.so.6", nullptr},
        {0x7f1000000000, 0, 0x1000, nullptr, nullptr},
    };
    std::vector<bool> crashFlags;
    int getImageCount() override { return static_cast<int>(images.size()); }
    DuviduCrashBinaryImage getBinaryImage(int index, bool isCrash) override
    {
        crashFlags.push_back(isCrash);
        return images[static_cast<size_t>(index)];
    }
};

DuviduFrame frameIn(const char* imageAddress)
{
    DuviduFrame frame;
    frame.imageAddress = imageAddress;
    return frame;
}

TEST(DuviduDebugImageProviderTest, DescribesEachImage)
{
    auto images = std::make_shared<FixedImages>();
    DuviduDebugImageProvider provider(images);
    auto all = provider.getDebugImagesCrashed(false);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].debugID, "C274A7FE-ED40-4E4E-3E7E-0B9F129BDBD3");
    EXPECT_EQ(all[0].type, "elf");
    EXPECT_EQ(all[0].imageAddress, "0x0000555500000000");
    EXPECT_FALSE(all[0].imageVmAddress.has_value());  // a virtual address of 0 is left out
    EXPECT_EQ(all[0].imageSize, 0x5000u);
    EXPECT_EQ(all[0].codeFile, "/opt/demo/Demo");
    EXPECT_FALSE(all[0].uuid.has_value());
    EXPECT_FALSE(all[0].name.has_value());
    EXPECT_FALSE(all[1].debugID.has_value());
    EXPECT_EQ(all[1].imageVmAddress, "0x0000000000400000");
    EXPECT_FALSE(all[2].codeFile.has_value());
    EXPECT_EQ(images->crashFlags, std::vector<bool>(3, false));

    provider.getDebugImages();
    EXPECT_EQ(images->crashFlags.back(), true);
}

TEST(DuviduDebugImageProviderTest, ImagesOfFramesAndThreadsFollowTheImageList)
{
    DuviduDebugImageProvider provider(std::make_shared<FixedImages>());
    // Two frames in libc and one in the program, libc's first: each image once, in list order.
    std::vector<DuviduFrame> frames{frameIn("0x00007f0000000000"), frameIn("0x0000555500000000"),
                                    frameIn("0x00007f0000000000"), DuviduFrame()};
    auto images = provider.getDebugImagesForFrames(frames, false);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].codeFile, "/opt/demo/Demo");
    EXPECT_EQ(images[1].codeFile, "/lib/libc.so.6");

    DuviduThread withStack(0), withoutStack(1);
    withStack.stacktrace = DuviduStacktrace({frameIn("0x00007f0000000000")});
    EXPECT_TRUE(provider.getDebugImagesForThreads({withoutStack}, false).empty());
    images = provider.getDebugImagesForThreads({withoutStack, withStack});
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].codeFile, "/lib/libc.so.6");
    // Matching is by exact text: the same address written otherwise matches nothing.
    EXPECT_TRUE(provider.getDebugImagesForAddresses({"0x7f0000000000"}, false).empty());
}

class ZeroMemory : public DuviduCrashWrapper {
public:
    uint64_t freeMemorySize() const override { return 0; }
    uint64_t freeStorageSize() const override { return 12345; }
    uint64_t appMemorySize() const override { return 0; }
};

class DuviduExtraContextProviderTest : public duvidutest::DuviduTest {};

TEST_F(DuviduExtraContextProviderTest, ReportsEveryValueEvenWhenMemoryCannotBeRead)
{
    auto processInfo = std::make_shared<DuviduNSProcessInfoWrapper>();
    DuviduExtraContextProvider provider(std::make_shared<ZeroMemory>(), processInfo);
    Value::Object expected{
        {"device", Value::Object{{"free_memory", uint64_t{0}},
                                 {"free_storage", uint64_t{12345}},
                                 {"processor_count", processInfo->processorCount()}}},
        {"app", Value::Object{{"app_memory", uint64_t{0}}}},
    };
    EXPECT_EQ(provider.getExtraContext(), expected);

    // The real probes of this machine and process.
    auto real = DuviduExtraContextProvider::sharedInstance()->getExtraContext();
    uint64_t appMemory = 0;
    ASSERT_TRUE(real["app"].asObject()->at("app_memory").numberAsUInt64(appMemory));
    EXPECT_GT(appMemory, 0u);
}

TEST_F(DuviduExtraContextProviderTest, ContainerKeepsOneDebugImageProviderUntilReset)
{
    auto container = DuviduDependencyContainer::sharedInstance();
    auto provider = container->debugImageProvider();
    EXPECT_EQ(container->debugImageProvider(), provider);
    auto replacement = std::make_shared<DuviduDebugImageProvider>(std::make_shared<FixedImages>());
    container->setDebugImageProvider(replacement);
    EXPECT_EQ(container->debugImageProvider(), replacement);
    DuviduDependencyContainer::reset();
    EXPECT_NE(DuviduDependencyContainer::sharedInstance()->debugImageProvider(), replacement);
}

}  // namespace
