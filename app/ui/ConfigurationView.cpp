#include "ui/ConfigurationView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>

#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "shell/ModifierKey.h"
#include "shell/PrimaryKey.h"
#include "ui/FontRole.h"
#include "ui/InfoButtonView.h"
#include "ui/SettingsRow.h"

namespace {


// The page's keys with the defaults it shows while a key is absent.
struct BoolKey {
    const char* key;
    bool fallback;
};
constexpr BoolKey boolKeys[] = {
    {"launchOnLogin", false},          {"enableSoundEffects", true},      {"useDefaultAudioDevice", true},
    {"errorLoggingEnabled", false},    {"recordingViewEnabled", true},    {"realtimeResultsEnabled", false},
    {"closeRecordingViewEnabled", false}, {"autoPasteEnabled", true},
};
constexpr const char* primaryKeyKey = "selectedPrimaryKey";
constexpr const char* modifierKeyKey = "selectedModifierKey";
constexpr const char* volumeKey = "soundEffectVolume";
constexpr const char* deviceKey = "selectedDeviceID";

bool isPageKey(const std::string& key) {
    for (const BoolKey& k : boolKeys)
        if (key == k.key) return true;
    return key == primaryKeyKey || key == modifierKeyKey || key == volumeKey || key == deviceKey;
}

QWidget* toggleWithInfo(QCheckBox* toggle, const QString& info) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(toggle);
    layout->addWidget(new InfoButtonView(info, row));
    layout->addStretch();
    return row;
}

}  // namespace

QString ConfigurationView::volumeLabelText(double volume) {
    // Fixed format, whatever the locale: no decimals.
    char number[32];
    std::snprintf(number, sizeof number, "%.0f", volume * 100);
    return tr("Volume (%1%)").arg(QString::fromLatin1(number));
}

ConfigurationView::ConfigurationView(KeyboardManager& keyboardManager, AudioManager& audioManager,
                                     Binding<bool> navigationDisabled, SettingsStore& settings, QWidget* parent)
    : QWidget(parent),
      keyboardManager_(keyboardManager),
      audioManager_(audioManager),
      navigationDisabled_(std::move(navigationDisabled)),
      settings_(settings) {
    // Audio
    sound_ = toggle(tr("Sound effects enabled"), "enableSoundEffects");
    volumeLabel_ = new QLabel(this);
    QFont small = volumeLabel_->font();
    small.setPixelSize(12);
    volumeLabel_->setFont(small);
    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setRange(0, 10);  // steps of 0.1
    connect(volume_, &QSlider::valueChanged, this, [this](int step) { settings_.setNumber(volumeKey, step / 10.0); });
    auto* volumeStack = new QVBoxLayout;
    volumeStack->addWidget(volumeLabel_);
    volumeStack->addWidget(volume_);
    auto* audio = new QVBoxLayout;
    audio->setSpacing(16);
    audio->addWidget(sound_);
    audio->addLayout(volumeStack);

    // Input Device
    devices_ = new QComboBox(this);
    connect(devices_, &QComboBox::activated, this,
            [this](int index) { settings_.setString(deviceKey, devices_->itemData(index).toString().toStdString()); });
    useDefault_ = toggle(tr("Automatically use system default device"), "useDefaultAudioDevice");
    auto* device = new QVBoxLayout;
    device->addWidget(devices_);
    device->addWidget(useDefault_);

    // Shortcut: names shown verbatim, ids stored.
    modifier_ = new QComboBox(this);
    for (const ModifierKey& row : modifierKeys)
        modifier_->addItem(QString::fromUtf8(row.name.data(), row.name.size()),
                           QString::fromUtf8(row.id.data(), row.id.size()));
    key_ = new QComboBox(this);
    for (const PrimaryKey& row : primaryKeys)
        key_->addItem(QString::fromUtf8(row.name.data(), row.name.size()),
                      QString::fromUtf8(row.id.data(), row.id.size()));
    key_->setMaxVisibleItems(15);
    connect(modifier_, &QComboBox::activated, this, [this](int index) {
        settings_.setString(modifierKeyKey, modifier_->itemData(index).toString().toStdString());
    });
    connect(key_, &QComboBox::activated, this, [this](int index) {
        settings_.setString(primaryKeyKey, key_->itemData(index).toString().toStdString());
    });
    auto* shortcut = new QHBoxLayout;
    shortcut->addWidget(modifier_);
    shortcut->addWidget(key_);

    // Behaviour
    recordingView_ = toggle(tr("Show recording window"), "recordingViewEnabled");
    realtime_ = toggle(tr("Realtime (Experimental)"), "realtimeResultsEnabled");
    closeRecordingView_ = toggle(tr("Automatically close recording window"), "closeRecordingViewEnabled");
    autoPaste_ = toggle(tr("Automatically paste results"), "autoPasteEnabled");
    auto* behaviour = new QVBoxLayout;
    behaviour->setSpacing(8);
    behaviour->addWidget(toggleWithInfo(recordingView_, tr("If enabled, a window displaying a visualization of the "
                                                           "audio waves being received will be displayed while "
                                                           "recording.")));
    behaviour->addWidget(toggleWithInfo(
        realtime_, tr("(Experimental) Warning, may cause app instability, please give feedback on feature knowing "
                      "that I am still working on making it better.\n\nIf enabled, results will appear as you record, "
                      "processing still occurs at end on entire recording.")));
    behaviour->addWidget(toggleWithInfo(closeRecordingView_, tr("If enabled, when your dictation is complete, the "
                                                                "recording window will be automatically closed.")));
    behaviour->addWidget(toggleWithInfo(autoPaste_, tr("If enabled, the results of your dictation will be "
                                                       "automatically pasted into the focused text input when your "
                                                       "dictation completes.")));

    // Startup, Error logging
    launchOnLogin_ = toggle(tr("Launch on Start"), "launchOnLogin");
    auto* startup = new QVBoxLayout;
    startup->addWidget(launchOnLogin_);
    errorLogging_ = toggle(tr("Error logging enabled"), "errorLoggingEnabled");
    auto* footnote = new QLabel(tr("When enabled errors will be reported."), this);
    footnote->setFont(fontFor(FontRole::Footnote));
    footnote->setContentsMargins(19, 0, 0, 0);
    auto* errors = new QVBoxLayout;
    errors->setSpacing(2);
    errors->addWidget(errorLogging_);
    errors->addWidget(footnote);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(24);
    page->addWidget(new SettingsRow(tr("Audio"), audio, SettingsRow::Width::Framed, this));
    page->addWidget(new SettingsRow(tr("Input Device"), device, SettingsRow::Width::Framed, this));
    page->addWidget(new SettingsRow(tr("Shortcut"), shortcut, SettingsRow::Width::Framed, this));
    page->addWidget(divider);
    page->addWidget(new SettingsRow(tr("Behaviour"), behaviour, SettingsRow::Width::Free, this));
    page->addWidget(new SettingsRow(tr("Startup"), startup, SettingsRow::Width::Free, this));
    page->addWidget(new SettingsRow(tr("Error logging"), errors, SettingsRow::Width::Free, this));
    page->addStretch();

    for (const char* key : {primaryKeyKey, modifierKeyKey, deviceKey}) {
        if (auto value = settings_.value(key)) seen_[key] = *value;
    }
    connect(&settings_, &SettingsStore::valueChanged, this, &ConfigurationView::keyChanged);
    redraw();
}

bool ConfigurationView::boolSetting(const char* key) const {
    for (const BoolKey& k : boolKeys)
        if (std::string_view(k.key) == key) return settings_.boolValue(key, k.fallback);
    return false;
}

std::string ConfigurationView::stringSetting(const char* key) const {
    if (std::string_view(key) == primaryKeyKey) return settings_.stringValue(key, "space");
    if (std::string_view(key) == modifierKeyKey) return settings_.stringValue(key, "option");
    return settings_.stringValue(key, "");
}

QCheckBox* ConfigurationView::toggle(const QString& title, const char* key) {
    auto* box = new QCheckBox(title, this);
    connect(box, &QCheckBox::toggled, this, [this, key](bool on) { settings_.setBool(key, on); });
    return box;
}

void ConfigurationView::redraw() {
    const auto set = [](QCheckBox* box, bool on) {
        const QSignalBlocker block(box);
        box->setChecked(on);
    };
    set(sound_, boolSetting("enableSoundEffects"));
    set(useDefault_, boolSetting("useDefaultAudioDevice"));
    set(recordingView_, boolSetting("recordingViewEnabled"));
    set(realtime_, boolSetting("realtimeResultsEnabled"));
    set(closeRecordingView_, boolSetting("closeRecordingViewEnabled"));
    set(autoPaste_, boolSetting("autoPasteEnabled"));
    set(launchOnLogin_, boolSetting("launchOnLogin"));
    set(errorLogging_, boolSetting("errorLoggingEnabled"));

    const double volume = settings_.numberValue(volumeKey, 1.0);
    volumeLabel_->setText(volumeLabelText(volume));
    {
        const QSignalBlocker block(volume_);
        volume_->setValue(static_cast<int>(std::lround(volume * 10)));
    }
    volume_->setEnabled(sound_->isChecked());

    // Disabling a control never changes its stored value.
    realtime_->setEnabled(recordingView_->isChecked());
    closeRecordingView_->setEnabled(recordingView_->isChecked());

    if (audioManager_.audioInputDevicesUpdatedStamp() != deviceStamp_ || devices_->count() == 0) rebuildDevicePicker();
    {
        const QSignalBlocker block(devices_);
        devices_->setCurrentIndex(devices_->findData(QString::fromStdString(stringSetting(deviceKey))));
    }
    devices_->setEnabled(!useDefault_->isChecked());

    const QSignalBlocker blockModifier(modifier_);
    modifier_->setCurrentIndex(modifier_->findData(QString::fromStdString(stringSetting(modifierKeyKey))));
    const QSignalBlocker blockKey(key_);
    key_->setCurrentIndex(key_->findData(QString::fromStdString(stringSetting(primaryKeyKey))));
}

void ConfigurationView::rebuildDevicePicker() {
    // The picker is rebuilt only when the device list has a new stamp, so an open pop-up is not disturbed by redraws.
    const QSignalBlocker block(devices_);
    devices_->clear();
    for (const CaptureDevice& device : audioManager_.audioInputDevices())
        devices_->addItem(QString::fromStdString(device.localizedName), QString::fromStdString(device.uniqueID));
    deviceStamp_ = audioManager_.audioInputDevicesUpdatedStamp();
}

void ConfigurationView::keyChanged(const QString& qkey) {
    const std::string key = qkey.toStdString();
    if (!isPageKey(key)) return;
    if (key == primaryKeyKey || key == modifierKeyKey || key == deviceKey) {
        const auto value = settings_.value(key);
        const auto previous = seen_.find(key);
        const bool changed = value ? (previous == seen_.end() || previous->second != *value) : previous != seen_.end();
        if (value)
            seen_[key] = *value;
        else
            seen_.erase(key);
        if (changed) {
            if (key == deviceKey) {
                audioManager_.setSelectedDeviceID(stringSetting(deviceKey));
            } else {
                keyboardManager_.registerHotKey();
            }
        }
    }
    redraw();
}

void ConfigurationView::refreshDevicesOnAppear() { audioManager_.refreshAudioInputDevices(); }

void ConfigurationView::showEvent(QShowEvent* event) {
    // Both the device row and the shortcut row ask for a fresh list when they come into view.
    refreshDevicesOnAppear();
    refreshDevicesOnAppear();
    QWidget::showEvent(event);
}
