#include "shell/KeyboardManager.h"

#include "platform/AppLog.h"
#include "platform/SettingsStore.h"
#include "shell/hotkey/HotKeysController.h"
#include "support/TempHome.h"

#include "FakeHotKeyBackend.h"

#include <gtest/gtest.h>

#include <deque>
#include <tuple>

namespace {

class KeyboardManagerTest : public testing::Test {
protected:
    void SetUp() override {
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            logs.push_back(category + ": " + message);
        });
    }
    void TearDown() override { AppLog::setSink({}); }

    // Runs the tasks the manager started, in order.
    void runTasks() {
        while (!tasks.empty()) {
            auto task = std::move(tasks.front());
            tasks.pop_front();
            task();
        }
    }

    std::uint32_t idOf(const HotKey* hotKey) { return *HotKeysController::registeredID(*hotKey); }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    std::shared_ptr<FakeHotKeyBackend> backend = FakeHotKeyBackend::install();
    std::deque<KeyboardManager::Action> tasks;
    std::vector<std::string> logs;
    KeyboardManager manager{settings, [this](KeyboardManager::Action task) { tasks.push_back(std::move(task)); }};
};

TEST_F(KeyboardManagerTest, ChoiceTables) {
    ASSERT_EQ(primaryKeys.size(), 44u);
    for (std::size_t i = 0; i < 36; ++i) EXPECT_EQ(primaryKeys[i].flag, static_cast<Key>(i));
    EXPECT_EQ(primaryKeys[42], (PrimaryKey{Key::space, "Space", "space"}));
    // Picker order, not the glyph order of descriptions.
    ASSERT_EQ(modifierKeys.size(), 4u);
    EXPECT_EQ(modifierKeys[0], (ModifierKey{ModifierFlags(0x100000), "Super", "command"}));
    EXPECT_EQ(modifierKeys[3], (ModifierKey{ModifierFlags(0x80000), "Alt", "option"}));
    // A key has one name: the pickers show what the menu, the messages and the log say.
    for (const PrimaryKey& row : primaryKeys) EXPECT_EQ(row.name, keyLabel(row.flag)) << row.id;
    for (const auto& [row, key] : {std::pair{modifierKeys[0], Key::command}, std::pair{modifierKeys[1], Key::control},
                                   std::pair{modifierKeys[2], Key::shift}, std::pair{modifierKeys[3], Key::option}}) {
        EXPECT_EQ(row.name, keyLabel(key)) << row.id;
    }
}

TEST_F(KeyboardManagerTest, FreshSettingsGiveOptionSpace) {
    EXPECT_EQ(manager.hotKey(), nullptr);
    EXPECT_EQ(manager.selectedPrimaryKey(), "space");
    EXPECT_EQ(manager.selectedModifierKey(), "option");
    manager.registerHotKey();
    ASSERT_NE(manager.hotKey(), nullptr);
    EXPECT_EQ(manager.hotKey()->keyCombo(), KeyCombo(49, 2048));
    EXPECT_FALSE(settings.contains("selectedPrimaryKey"));  // the defaults are not written back
}

TEST_F(KeyboardManagerTest, StoredChoicesAndTheirFallbacks) {
    const struct {
        const char* primary;
        const char* modifier;
        KeyCombo expected;
    } cases[] = {
        {"period", "command", KeyCombo(47, 256)},
        {"0", "control", KeyCombo(29, 4096)},
        {"Space", "shift", KeyCombo(49, 512)},         // ids are case-sensitive
        {"rightBracket", "shift", KeyCombo(49, 512)},  // a key that is not offered
        {"c", "", KeyCombo(8, 2048)},
    };
    for (const auto& c : cases) {
        settings.setString("selectedPrimaryKey", c.primary);
        settings.setString("selectedModifierKey", c.modifier);
        manager.registerHotKey();
        EXPECT_EQ(manager.hotKey()->keyCombo(), c.expected) << c.primary << " / " << c.modifier;
        EXPECT_EQ(settings.stringValue("selectedPrimaryKey", ""), c.primary);
    }
    EXPECT_TRUE(logs.empty());
}

TEST_F(KeyboardManagerTest, ChangedChoiceRegistersTheNewComboBeforeReleasingTheOld) {
    manager.registerHotKey();
    manager.setSelectedPrimaryKey("tab");
    manager.registerHotKey();
    ASSERT_EQ(backend->calls.size(), 3u);
    EXPECT_EQ(backend->calls[0].op, "register");
    EXPECT_EQ(backend->calls[1].op, "register");
    EXPECT_EQ(backend->calls[1].combo, KeyCombo(48, 2048));
    EXPECT_EQ(backend->calls[2].op, "unregister");
    EXPECT_EQ(backend->calls[2].combo, KeyCombo(49, 2048));
    EXPECT_EQ(manager.hotKey()->keyCombo(), KeyCombo(48, 2048));
}

TEST_F(KeyboardManagerTest, ReleaseStartsOneToggleAndPressDoesNothing) {
    int toggles = 0;
    manager.toggleRecord = [&] { ++toggles; };
    manager.registerHotKey();
    const std::uint32_t id = idOf(manager.hotKey());

    EXPECT_EQ(backend->fire(id, HotKeyEvent::kindPressed), HotKeysController::eventNotHandledErr);
    EXPECT_TRUE(tasks.empty());
    EXPECT_EQ(backend->fire(id, HotKeyEvent::kindReleased), HotKeysController::noErr);
    EXPECT_EQ(toggles, 0);  // started as a task, not run inside the event
    EXPECT_EQ(backend->fire(id, HotKeyEvent::kindReleased), HotKeysController::noErr);
    runTasks();
    EXPECT_EQ(toggles, 2);
}

TEST_F(KeyboardManagerTest, EscapeCancelsOnReleaseAndASecondRegistrationIsRefused) {
    int cancels = 0;
    manager.cancelRecord = [&] { ++cancels; };
    manager.registerEscapeHotKey(Key::escape, ModifierFlags());
    HotKey* escape = manager.hotKeyEscape();
    ASSERT_NE(escape, nullptr);
    EXPECT_EQ(escape->keyCombo(), KeyCombo(53, 0));

    manager.registerEscapeHotKey(Key::escape, ModifierFlags());
    manager.registerEscapeHotKey(Key::q, ModifierFlags::command());
    EXPECT_EQ(manager.hotKeyEscape(), escape);
    EXPECT_EQ(logs, (std::vector<std::string>{"info: Must deregister hotkey before registering again",
                                              "info: Must deregister hotkey before registering again"}));
    EXPECT_EQ(backend->calls.size(), 1u);

    EXPECT_EQ(backend->fire(idOf(escape), HotKeyEvent::kindReleased), HotKeysController::noErr);
    runTasks();
    EXPECT_EQ(cancels, 1);

    manager.resetHotKeyEscape();
    EXPECT_EQ(manager.hotKeyEscape(), nullptr);
    EXPECT_EQ(backend->calls.back().op, "unregister");
    manager.registerEscapeHotKey(Key::escape, ModifierFlags());
    EXPECT_NE(manager.hotKeyEscape(), nullptr);
    EXPECT_EQ(logs.size(), 2u);
}

TEST_F(KeyboardManagerTest, DestructionReleasesBothHotKeys) {
    {
        KeyboardManager local(settings, [](KeyboardManager::Action) {});
        local.registerHotKey();
        local.registerEscapeHotKey(Key::escape, ModifierFlags());
    }
    ASSERT_EQ(backend->calls.size(), 4u);
    EXPECT_EQ(backend->calls[2].op, "unregister");
    EXPECT_EQ(backend->calls[3].op, "unregister");
}

TEST_F(KeyboardManagerTest, SelectionPropertiesFollowTheSettings) {
    int primaryChanges = 0;
    int modifierChanges = 0;
    QObject::connect(&manager, &KeyboardManager::selectedPrimaryKeyChanged, [&] { ++primaryChanges; });
    QObject::connect(&manager, &KeyboardManager::selectedModifierKeyChanged, [&] { ++modifierChanges; });
    manager.setSelectedPrimaryKey("z");
    settings.setString("selectedModifierKey", "shift");
    EXPECT_EQ(settings.stringValue("selectedPrimaryKey", ""), "z");
    EXPECT_EQ(manager.selectedModifierKey(), "shift");
    EXPECT_EQ(primaryChanges, 1);
    EXPECT_EQ(modifierChanges, 1);
    // Choosing does not re-register by itself; the settings page asks for it.
    EXPECT_TRUE(backend->calls.empty());
}

TEST_F(KeyboardManagerTest, EveryRegistrationTellsWhetherTheDesktopAcceptedItAndNamesTheCombination) {
    std::vector<bool> told;
    QObject::connect(&manager, &KeyboardManager::hotKeyRegistered,
                     [&told](bool accepted) { told.push_back(accepted); });
    EXPECT_FALSE(manager.isHotKeyAccepted());
    backend->accept = false;
    manager.registerHotKey();
    EXPECT_FALSE(manager.isHotKeyAccepted());
    EXPECT_EQ(manager.hotKeyText(), "Alt+Space");

    backend->accept = true;
    for (const auto& [modifier, key, text] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"command", "a", "Super+A"}, {"control", "7", "Ctrl+7"}, {"shift", "period", "Shift+Period"},
             {"option", "tab", "Alt+Tab"}}) {
        settings.setString("selectedModifierKey", modifier);
        settings.setString("selectedPrimaryKey", key);
        manager.registerHotKey();
        EXPECT_EQ(manager.hotKeyText().toStdString(), text);
    }
    EXPECT_TRUE(manager.isHotKeyAccepted());
    EXPECT_EQ(told, (std::vector<bool>{false, true, true, true, true}));
}

}  // namespace
