#pragma once

#include "shell/ModifierKey.h"
#include "shell/PrimaryKey.h"
#include "platform/SettingsStore.h"
#include "shell/hotkey/HotKey.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Turns the user's choice of dictation hot key (a primary key and one modifier, kept in the settings) into a
// registered hot key that toggles dictation when released, and holds the Escape hot key while a recording runs.
// GUI thread only.
class KeyboardManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString selectedPrimaryKey READ selectedPrimaryKey WRITE setSelectedPrimaryKey NOTIFY
                   selectedPrimaryKeyChanged)
    Q_PROPERTY(QString selectedModifierKey READ selectedModifierKey WRITE setSelectedModifierKey NOTIFY
                   selectedModifierKeyChanged)

public:
    using Action = std::function<void()>;
    // Runs a task asynchronously; the default runs it on the global thread pool.
    using TaskSpawner = std::function<void(Action task)>;

    static constexpr const char* primaryKeySetting = "selectedPrimaryKey";
    static constexpr const char* modifierKeySetting = "selectedModifierKey";

    explicit KeyboardManager(SettingsStore& settings = SettingsStore::standard(), TaskSpawner spawn = {},
                             QObject* parent = nullptr);
    ~KeyboardManager() override;

    // The dictation hot key, null until registerHotKey.
    HotKey* hotKey() const { return hotKey_.get(); }
    // The Escape hot key, null unless registered.
    HotKey* hotKeyEscape() const { return hotKeyEscape_.get(); }
    // Drops the Escape hot key, which releases its grab.
    void resetHotKeyEscape() { hotKeyEscape_.reset(); }

    // (Re)registers the dictation hot key from the settings; an unknown id falls back to Space or Option. The new
    // combination is registered before the old one is released, so re-registering the same one never drops it.
    // Emits hotKeyRegistered.
    void registerHotKey();
    // Whether the desktop accepted the dictation hot key at its last registration; false before the first.
    bool isHotKeyAccepted() const;
    // The combination of the last registration by the keys' Linux names, as the menu and messages show it:
    // "Alt+Space", "Super+A". Empty before the first.
    const QString& hotKeyText() const { return hotKeyText_; }
    // Registers the Escape hot key (cancel on release), unless one is registered already: that is refused with a
    // log line and the existing one stays.
    void registerEscapeHotKey(Key key, ModifierFlags modifiers);

    QString selectedPrimaryKey() const;
    void setSelectedPrimaryKey(const QString& id);
    QString selectedModifierKey() const;
    void setSelectedModifierKey(const QString& id);

    // Run in a new task on every release of the dictation hot key and of Escape; they do nothing until set.
    Action toggleRecord = [] {};
    Action cancelRecord = [] {};

signals:
    // After every registerHotKey: whether the desktop accepted the combination (another program may hold it).
    void hotKeyRegistered(bool accepted);
    void selectedPrimaryKeyChanged();
    void selectedModifierKeyChanged();

private:
    SettingsStore& settings_;
    TaskSpawner spawn_;
    std::unique_ptr<HotKey> hotKey_;
    std::unique_ptr<HotKey> hotKeyEscape_;
    QString hotKeyText_;
};
