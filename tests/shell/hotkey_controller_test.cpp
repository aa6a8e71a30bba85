#include "shell/hotkey/HotKey.h"
#include "shell/hotkey/HotKeysController.h"

#include "FakeHotKeyBackend.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr std::int32_t noErr = HotKeysController::noErr;
constexpr std::int32_t notHandled = HotKeysController::eventNotHandledErr;
constexpr auto pressed = HotKeyEvent::kindPressed;
constexpr auto released = HotKeyEvent::kindReleased;

class HotKeyControllerTest : public testing::Test {
protected:
    std::shared_ptr<FakeHotKeyBackend> backend = FakeHotKeyBackend::install();
    std::size_t boxesBefore = HotKeysController::registeredCount();
};

TEST_F(HotKeyControllerTest, IdsAreFreshForEveryRegistrationEvenOfTheSameCombo) {
    HotKey first(Key::space, ModifierFlags::option());
    HotKey second(KeyCombo(49, 2048));
    const auto firstID = HotKeysController::registeredID(first);
    const auto secondID = HotKeysController::registeredID(second);
    ASSERT_TRUE(firstID && secondID);
    EXPECT_EQ(*secondID, *firstID + 1);
    ASSERT_EQ(backend->calls.size(), 2u);
    EXPECT_EQ(backend->calls[1].combo, KeyCombo(49, 2048));
    EXPECT_EQ(backend->lastSignature, 0x516D486Bu);  // 'QmHk'
    EXPECT_EQ(HotKeysController::hotKey(*firstID), &first);
    EXPECT_EQ(HotKeysController::hotKey(*secondID), &second);
    EXPECT_EQ(HotKeysController::registeredCount(), boxesBefore + 2);
}

TEST_F(HotKeyControllerTest, PauseUnregistersAndResumeRegistersUnderANewId) {
    HotKey hotKey(Key::tab, ModifierFlags::control());
    const auto firstID = HotKeysController::registeredID(hotKey);

    hotKey.setPaused(false);  // already registered: one entry, one id
    EXPECT_EQ(HotKeysController::registeredID(hotKey), firstID);
    EXPECT_EQ(backend->calls.size(), 1u);

    hotKey.setPaused(true);
    EXPECT_TRUE(hotKey.isPaused());
    EXPECT_FALSE(HotKeysController::registeredID(hotKey));
    ASSERT_EQ(backend->calls.size(), 2u);
    EXPECT_EQ(backend->calls[1].op, "unregister");
    hotKey.setPaused(true);  // nothing left to release
    EXPECT_EQ(backend->calls.size(), 2u);
    hotKey.keyUpHandler = [] {};
    EXPECT_EQ(backend->fire(*firstID, released), notHandled);  // an event still in flight

    hotKey.setPaused(false);
    const auto secondID = HotKeysController::registeredID(hotKey);
    ASSERT_TRUE(secondID);
    EXPECT_GT(*secondID, *firstID);
    EXPECT_EQ(backend->calls.back().op, "register");
}

TEST_F(HotKeyControllerTest, DestructionUnregistersAndForgetsTheId) {
    std::uint32_t id = 0;
    {
        HotKey hotKey(Key::a, ModifierFlags::command(), {}, [] {});
        id = *HotKeysController::registeredID(hotKey);
    }
    ASSERT_EQ(backend->calls.size(), 2u);
    EXPECT_EQ(backend->calls[1].op, "unregister");
    EXPECT_EQ(backend->calls[1].handle, backend->calls[0].handle);
    EXPECT_EQ(HotKeysController::registeredCount(), boxesBefore);
    EXPECT_EQ(HotKeysController::hotKey(id), nullptr);
    EXPECT_EQ(backend->fire(id, released), notHandled);
}

TEST_F(HotKeyControllerTest, RefusedRegistrationIsSilentKeepsTheEntryAndReleasesNothing) {
    backend->accept = false;
    {
        HotKey hotKey(Key::space, ModifierFlags::option(), {}, [] {});
        EXPECT_TRUE(HotKeysController::registeredID(hotKey));
        EXPECT_EQ(backend->handler, nullptr);  // nothing registered yet, so no event handler either
    }
    ASSERT_EQ(backend->calls.size(), 1u);
    EXPECT_EQ(HotKeysController::registeredCount(), boxesBefore);
}

TEST_F(HotKeyControllerTest, HandlerRunsTheMatchingActionAndAnswersNoErr) {
    int downs = 0;
    int ups = 0;
    HotKey hotKey(Key::space, ModifierFlags::option(), [&] { ++downs; }, [&] { ++ups; });
    HotKey other(Key::a, ModifierFlags::shift());
    EXPECT_EQ(backend->installCount, 1);  // once, on the first accepted registration
    const std::uint32_t id = *HotKeysController::registeredID(hotKey);
    EXPECT_EQ(backend->fire(id, pressed), noErr);
    EXPECT_EQ(backend->fire(id, released), noErr);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
}

TEST_F(HotKeyControllerTest, HandlerStatusCodesForEventsThatAreNotOurs) {
    int ups = 0;
    HotKey upOnly(Key::space, ModifierFlags::option(), {}, [&] { ++ups; });
    const std::uint32_t id = *HotKeysController::registeredID(upOnly);

    EXPECT_EQ(HotKeysController::hotKeyEventHandler(nullptr), notHandled);
    const HotKeyEvent unreadable{-9870, HotKeysController::signature, id, released};
    EXPECT_EQ(HotKeysController::hotKeyEventHandler(&unreadable), -9870);
    const HotKeyEvent foreign{0, 0x41424344, id, released};
    EXPECT_EQ(HotKeysController::hotKeyEventHandler(&foreign), notHandled);
    EXPECT_EQ(backend->fire(id + 1000, released), notHandled);
    EXPECT_EQ(backend->fire(id, 7), notHandled);
    EXPECT_EQ(backend->fire(id, pressed), notHandled);  // no press action
    EXPECT_EQ(ups, 0);

    EXPECT_EQ(backend->fire(id, released), noErr);
    EXPECT_EQ(ups, 1);
}

TEST_F(HotKeyControllerTest, ActionMayDestroyItsOwnHotKey) {
    auto hotKey = std::make_unique<HotKey>(Key::escape, ModifierFlags());
    int runs = 0;
    hotKey->keyUpHandler = [&hotKey, &runs, marker = std::make_shared<int>(7)] {
        hotKey.reset();
        runs += *marker;  // the closure's captures must outlive the hot key that stored it
    };
    const std::uint32_t id = *HotKeysController::registeredID(*hotKey);
    EXPECT_EQ(backend->fire(id, released), noErr);
    EXPECT_EQ(runs, 7);
    EXPECT_EQ(backend->calls.back().op, "unregister");
    EXPECT_EQ(backend->fire(id, released), notHandled);
}

}  // namespace
