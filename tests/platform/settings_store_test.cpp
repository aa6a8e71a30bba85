#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include "support/TempHome.h"

namespace fs = std::filesystem;

TEST(SettingsStore, AnAbsentKeyIsNotAStoredFalse) {
    vctest::TempHome home;
    SettingsStore store(home.config() / "vellumcaster" / "settings.json");
    EXPECT_FALSE(store.contains("enableSoundEffects"));
    EXPECT_FALSE(store.storedBool("enableSoundEffects").has_value());
    EXPECT_TRUE(store.boolValue("enableSoundEffects", true));

    store.setBool("enableSoundEffects", false);
    EXPECT_TRUE(store.contains("enableSoundEffects"));
    EXPECT_EQ(store.storedBool("enableSoundEffects"), false);
    EXPECT_FALSE(store.boolValue("enableSoundEffects", true));

    store.remove("enableSoundEffects");
    EXPECT_FALSE(store.contains("enableSoundEffects"));
    EXPECT_TRUE(store.boolValue("enableSoundEffects", true));
}

TEST(SettingsStore, TypedValuesKeepTheirTypeAndFallBackOnAnother) {
    vctest::TempHome home;
    SettingsStore store(home.config() / "vellumcaster" / "settings.json");
    store.setNumber("soundEffectVolume", 0.3);
    store.setString("activeModelKey", "base");
    store.setString("activePrompt", "");
    EXPECT_DOUBLE_EQ(store.numberValue("soundEffectVolume", 1.0), 0.3);
    EXPECT_EQ(store.stringValue("activeModelKey", "small"), "base");
    EXPECT_EQ(store.stringValue("activePrompt", "fallback"), "");  // stored empty text is not absent
    // A value of another type counts as absent for a typed read.
    EXPECT_EQ(store.stringValue("soundEffectVolume", "x"), "x");
    EXPECT_FALSE(store.storedBool("activeModelKey").has_value());
}

TEST(SettingsStore, ValuesPersistAcrossAReload) {
    vctest::TempHome home;
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    {
        SettingsStore store(file);
        store.setBool("autoPasteEnabled", false);
        store.setNumber("soundEffectVolume", 0.5);
        store.setString("selectedLanguage", "de");
        store.setString("activePrompt", "bad \xff byte");  // invalid UTF-8 must not lose the write
    }
    ASSERT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
    SettingsStore again(file);
    EXPECT_EQ(again.storedBool("autoPasteEnabled"), false);
    EXPECT_EQ(again.storedNumber("soundEffectVolume"), 0.5);
    EXPECT_EQ(again.storedString("selectedLanguage"), "de");
    EXPECT_EQ(again.storedString("activePrompt"), "bad \uFFFD byte");
    EXPECT_FALSE(again.contains("launchOnLogin"));
}

TEST(SettingsStore, ChangesAreSignalledPerKeyAndReloadSeesOtherWriters) {
    vctest::TempHome home;
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    SettingsStore store(file);
    QStringList spy;
    QObject::connect(&store, &SettingsStore::valueChanged, [&spy](const QString& key) { spy << key; });
    store.setBool("launchOnLogin", true);
    store.setBool("launchOnLogin", true);  // unchanged: no signal
    store.remove("absentKey");             // nothing removed: no signal
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0), "launchOnLogin");

    SettingsStore other(file);
    other.setString("selectedPrimaryKey", "f5");
    spy.clear();
    store.reload();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0), "selectedPrimaryKey");
    EXPECT_EQ(store.stringValue("selectedPrimaryKey", "space"), "f5");
}
