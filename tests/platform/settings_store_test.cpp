#include "platform/SettingsStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/fanotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "engine/CapturedLog.h"
#include "platform/FileIO.h"
#include "support/Fifo.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {

// The settings file of `home`, holding `bytes`.
fs::path settingsFileHolding(const vctest::TempHome& home, const std::string& bytes) {
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    fs::create_directories(file.parent_path());
    FileIO::writeInPlace(file, bytes);
    return file;
}

std::vector<fs::path> asideFiles(const fs::path& file) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(file.parent_path())) {
        if (entry.path().filename().string().rfind("settings.json.unreadable-", 0) == 0) found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A settings file with a value nested `depth` deep.
std::string nested(std::size_t depth) {
    return "{\"activeModelKey\": \"base\", \"deep\": " + std::string(depth, '[') + std::string(depth, ']') + "}";
}

// Whether the thread `tid` of this process sleeps (here: waits for a lock).
bool sleeping(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto end = line.rfind(')');  // the state follows the command's name, which may hold anything
    return end != std::string::npos && line.size() > end + 2 && line[end + 2] == 'S';
}

}  // namespace

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

// A crafted file must neither exhaust the stack nor be written back into a file too large to be read again: values
// nested more than 32 deep, or kept values that would be written longer than the cap, make the file unreadable.
TEST(SettingsStore, AnUnreadableFileIsMovedAsideWithALogLineBeforeAnyWrite) {
    const std::string good = "{\"activeModelKey\": \"base\", \"launchOnLogin\": true, ";
    std::string longNumbers = good + "\"numbers\": [1E5";
    while (longNumbers.size() < 900 * 1024) longNumbers += ",1E5";  // each is written back as 100000.0
    longNumbers += "]}";
    const std::vector<std::string> broken = {
        good + "\"activePrompt\": \"bad \xff byte\"}",
        good + "\"activePrompt\": \"\\ud800\"}",
        good + "\"soundEffectVolume\": 1e400}",
        good,  // cut off
        "[\"not\", \"an\", \"object\"]",
        nested(60000),
        nested(30000),
        nested(33),
        longNumbers,
    };
    for (const std::string& bytes : broken) {
        vctest::TempHome home;
        const fs::path file = settingsFileHolding(home, bytes);
        capturetest::CapturedLog log;
        SettingsStore store(file);
        EXPECT_FALSE(store.contains("activeModelKey"));
        store.setBool("enableSoundEffects", false);

        const auto aside = asideFiles(file);
        ASSERT_EQ(aside.size(), 1u) << bytes.substr(0, 60);
        EXPECT_EQ(FileIO::read(aside[0], ReadableFile::Kind::settings), bytes);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines()[0].find("moved it to " + aside[0].string()), std::string::npos) << log.lines()[0];
        EXPECT_EQ(SettingsStore(file).storedBool("enableSoundEffects"), false);
    }
}

TEST(SettingsStore, AReloadOfAnUnreadableFileKeepsTheValuesInMemory) {
    vctest::TempHome home;
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    SettingsStore store(file);
    store.setString("activeModelKey", "tiny");
    FileIO::writeInPlace(file, "{\"activeModelKey\": ");
    capturetest::CapturedLog log;
    store.reload();
    EXPECT_EQ(store.storedString("activeModelKey"), "tiny");
    EXPECT_EQ(asideFiles(file).size(), 1u);
    EXPECT_EQ(log.lines().size(), 1u);
    store.setBool("launchOnLogin", true);
    EXPECT_EQ(SettingsStore(file).storedString("activeModelKey"), "tiny");
}

TEST(SettingsStore, SpecialFilesAreMovedAsideWithoutBlockingAndEarlierCopiesAreKept) {
    vctest::TempHome home;
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    fs::create_directories(file.parent_path());
    {
        const vctest::Fifo fifo(file);
        EXPECT_TRUE(fifo.returnsWithin([&] { SettingsStore store(file); }));
    }
    // A second bad file in the same second gets a name of its own.
    fs::create_symlink("/dev/zero", file);
    SettingsStore store(file);
    store.setString("selectedLanguage", "de");
    const auto aside = asideFiles(file);
    ASSERT_EQ(aside.size(), 2u);
    EXPECT_TRUE(fs::is_fifo(aside[0]) || fs::is_fifo(aside[1]));
    EXPECT_TRUE(fs::is_symlink(aside[0]) || fs::is_symlink(aside[1]));
    EXPECT_EQ(SettingsStore(file).storedString("selectedLanguage"), "de");
}

TEST(SettingsStore, ValuesOfOtherTypesLeaveTheRestAloneAndSurviveWrites) {
    vctest::TempHome home;
    const fs::path file =
        settingsFileHolding(home, R"({"launchOnLogin": "yes", "soundEffectVolume": null, "recent": [1, {"a": 2}],
                                     "activeModelKey": "medium", "enableSoundEffects": false})");
    capturetest::CapturedLog log;
    SettingsStore store(file);
    EXPECT_FALSE(store.boolValue("launchOnLogin", false));
    EXPECT_EQ(store.numberValue("soundEffectVolume", 0.7), 0.7);
    EXPECT_EQ(store.stringValue("activeModelKey", "small"), "medium");
    EXPECT_EQ(store.storedBool("enableSoundEffects"), false);

    store.setString("selectedLanguage", "fr");
    const auto again = SettingsStore::decode(FileIO::read(file, ReadableFile::Kind::settings));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->untyped.at("soundEffectVolume"), "null");
    EXPECT_EQ(again->untyped.at("recent"), R"([1,{"a":2}])");
    EXPECT_EQ(std::get<std::string>(again->values.at("launchOnLogin")), "yes");
    EXPECT_EQ(std::get<std::string>(again->values.at("activeModelKey")), "medium");
    EXPECT_TRUE(asideFiles(file).empty());
    EXPECT_TRUE(log.lines().empty());

    // A typed write replaces the untyped value; a removal removes either.
    store.setNumber("soundEffectVolume", 0.4);
    store.remove("recent");
    const auto last = SettingsStore::decode(FileIO::read(file, ReadableFile::Kind::settings));
    EXPECT_TRUE(last->untyped.empty());
    EXPECT_EQ(std::get<double>(last->values.at("soundEffectVolume")), 0.4);
}

TEST(SettingsStore, DeepValuesWithinTheBoundSurviveAndNoFileOverTheCapIsWritten) {
    // Values as deep as a settings file may hold survive a write, indented.
    vctest::TempHome home;
    const fs::path file = settingsFileHolding(home, nested(31));
    SettingsStore store(file);
    store.setString("selectedLanguage", "de");
    EXPECT_TRUE(asideFiles(file).empty());
    const std::string written = FileIO::read(file, ReadableFile::Kind::settings);
    EXPECT_NE(written.find("\n  \"deep\": [\n"), std::string::npos);
    EXPECT_EQ(SettingsStore::decode(written)->untyped.at("deep"), std::string(31, '[') + std::string(31, ']'));

    // A value that would take the file past what is read again is kept in memory but not written.
    capturetest::CapturedLog log;
    store.setString("activePrompt", std::string(ReadableFile::sizeCap(ReadableFile::Kind::settings), 'x'));
    EXPECT_EQ(store.storedString("activePrompt")->size(), ReadableFile::sizeCap(ReadableFile::Kind::settings));
    EXPECT_EQ(FileIO::read(file, ReadableFile::Kind::settings), written);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("more than the 65536 kept for them"), std::string::npos) << log.lines()[0];
}

TEST(SettingsStore, ASettingsFileThatIsALinkIsWrittenThroughIt) {
    vctest::TempHome home;
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    const fs::path dotfiles = home.path() / "dotfiles" / "vellumcaster.json";
    fs::create_directories(file.parent_path());
    fs::create_directories(dotfiles.parent_path());
    FileIO::writeInPlace(dotfiles, R"({"activeModelKey": "base"})");
    fs::create_symlink("../../dotfiles/vellumcaster.json", file);

    SettingsStore store(file);
    EXPECT_EQ(store.storedString("activeModelKey"), "base");
    store.setString("selectedLanguage", "de");
    EXPECT_TRUE(fs::is_symlink(file));
    const auto written = SettingsStore::decode(FileIO::read(dotfiles, ReadableFile::Kind::settings));
    EXPECT_EQ(written->values.at("selectedLanguage"), SettingsStore::Value(std::string("de")));
}

// A file that fits the cap but leaves no room for the application's own settings would have every change of a run
// refused; it is moved aside like a file over the cap. A file that leaves the room keeps every change, up to the
// longest prompt, and is read again at the next start.
TEST(SettingsStore, AFileThatLeavesNoRoomIsMovedAsideAndAChangeMadeInARunIsKept) {
    const std::uint64_t cap = ReadableFile::sizeCap(ReadableFile::Kind::settings);
    const auto withText = [](const std::string& key, std::size_t fileSize) {
        const std::string head = "{\"" + key + "\": \"";
        return head + std::string(fileSize - head.size() - 3, 'x') + "\"}\n";
    };
    std::string shortKeys = "{";
    for (int i = 0; i < 62000; ++i) shortKeys += "\"k-" + std::to_string(100000 + i) + "\":true,";
    shortKeys.back() = '}';
    const std::vector<std::string> noRoom = {withText("notes", cap - 1), shortKeys};
    for (const std::string& bytes : noRoom) {
        vctest::TempHome home;
        const fs::path file = settingsFileHolding(home, bytes);
        capturetest::CapturedLog log;
        {
            SettingsStore store(file);
            store.setString("selectedLanguage", "de");
        }
        ASSERT_EQ(asideFiles(file).size(), 1u) << bytes.size();
        EXPECT_EQ(FileIO::read(asideFiles(file)[0], ReadableFile::Kind::settings), bytes);
        EXPECT_EQ(SettingsStore(file).storedString("selectedLanguage"), "de");
        EXPECT_EQ(log.lines().size(), 1u);  // the move aside, and no refused write
    }

    // Just within the room: every setting of the application at its longest is written and read back.
    vctest::TempHome home;
    const fs::path file = settingsFileHolding(home, withText("notes", cap - SettingsStore::ownRoom - 16));
    capturetest::CapturedLog log;
    const std::string prompt(4096, '\x01');  // each character written as \u0001
    {
        SettingsStore store(file);
        ASSERT_TRUE(store.contains("notes"));
        store.setString("activePrompt", prompt);
        for (const char* key : {"activeModelKey", "selectedLanguage", "selectedDeviceID", "selectedModifierKey",
                                "selectedPrimaryKey"}) {
            store.setString(key, std::string(200, 'k'));
        }
        for (const char* key : {"autoPasteEnabled", "closeRecordingViewEnabled", "enableLiteralPunctuation",
                                "enableSoundEffects", "enableTranslation", "errorLoggingEnabled", "hasLaunchedBefore",
                                "launchOnLogin", "realtimeResultsEnabled", "recordingViewEnabled",
                                "useDefaultAudioDevice"}) {
            store.setBool(key, true);
        }
        store.setNumber("soundEffectVolume", 0.1234567890123);
    }
    EXPECT_TRUE(log.lines().empty());
    EXPECT_GT(fs::file_size(file), cap - SettingsStore::ownRoom);
    const SettingsStore again(file);
    EXPECT_TRUE(asideFiles(file).empty());
    EXPECT_EQ(again.storedString("activePrompt"), prompt);
    EXPECT_EQ(again.storedNumber("soundEffectVolume"), 0.1234567890123);
    EXPECT_TRUE(again.contains("notes"));
}

// An earlier version stored a prompt of any length. Read now, it would take more than the room kept for the
// application's own settings, and with it every setting; instead it is cut as the prompt field shows it.
TEST(SettingsStore, ALongPromptOfAnEarlierVersionIsCutAndEveryOtherSettingKept) {
    vctest::TempHome home;
    SettingsStore::Contents earlier;
    earlier.values = {
        {"activeModelKey", std::string("base")},   {"selectedLanguage", std::string("de")},
        {"selectedDeviceID", std::string("usb-mic")}, {"selectedModifierKey", std::string("control")},
        {"selectedPrimaryKey", std::string("d")},   {"soundEffectVolume", 0.35},
        {"autoPasteEnabled", false},               {"closeRecordingViewEnabled", false},
        {"enableLiteralPunctuation", true},         {"enableSoundEffects", false},
        {"enableTranslation", true},                {"errorLoggingEnabled", false},
        {"hasLaunchedBefore", true},                {"launchOnLogin", true},
        {"realtimeResultsEnabled", true},           {"recordingViewEnabled", false},
        {"useDefaultAudioDevice", false},
    };
    // 70,000 characters: 65,904 of one letter, then 4,096 of a letter that takes two bytes in UTF-8.
    std::string tail;
    for (int i = 0; i < 4096; ++i) tail += "\xc3\xa9";
    earlier.values["activePrompt"] = std::string(65904, 'a') + tail;
    const fs::path file = settingsFileHolding(home, SettingsStore::encode(earlier));

    capturetest::CapturedLog log;
    const SettingsStore store(file);
    EXPECT_TRUE(asideFiles(file).empty());
    for (const auto& [key, value] : earlier.values) {
        if (key != "activePrompt") {
            EXPECT_EQ(store.value(key), value) << key;
        }
    }
    const std::string kept = store.storedString("activePrompt").value_or("");
    EXPECT_TRUE(kept == tail) << "kept " << kept.size() << " bytes of the prompt";
    EXPECT_THAT(log.lines(), testing::ElementsAre("Settings file " + file.string() +
                                                  ": the prompt (activePrompt) was longer than the 4096 characters a "
                                                  "prompt may have; cut its first 65904 characters and kept the other "
                                                  "settings"));
}

// Writes run outside the lock that readers take, each with the values of the moment it writes, not those of the moment
// its change was made: however the writers of several threads reach the file, it ends with what the store holds. Here
// a second thread's change waits while a first thread's write is held at the file system (by a permission listener);
// once that write goes on, the first thread changes another value at once and is the first to write again, before the
// second thread's write, which was made with fewer values. Repeated, since which thread writes first is the system's.
TEST(SettingsStore, WritesFromSeveralThreadsLeaveTheNewestValues) {
    if (geteuid() != 0) GTEST_SKIP() << "holding a write at the file system takes root (a fanotify listener)";
    vctest::TempHome home;
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    SettingsStore store(file);
    store.setBool("launchOnLogin", true);  // the folder exists
    for (int round = 1; round <= 20; ++round) {
        const int listener = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
        ASSERT_GE(listener, 0) << "fanotify: " << std::strerror(errno);
        ASSERT_EQ(fanotify_mark(listener, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD,
                                file.parent_path().c_str()),
                  0);
        // Both threads on one processor, the first one ahead of the second whenever both can run: it goes on
        // from its write to its next change before the second one wakes.
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        std::thread first([&store, &one, round] {
            // Where real-time scheduling is refused, which thread goes on first is left to the system.
            const sched_param ahead{1};
            pthread_setaffinity_np(pthread_self(), sizeof one, &one);
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &ahead);
            store.setNumber("first", round);
            store.setNumber("firstAgain", round);
        });
        fanotify_event_metadata held{};
        ASSERT_EQ(read(listener, &held, sizeof held), ssize_t(sizeof held));  // the first write waits for the listener

        std::atomic<pid_t> secondThread{0};
        std::thread second([&store, &secondThread, &one, round] {
            pthread_setaffinity_np(pthread_self(), sizeof one, &one);
            secondThread = gettid();
            store.setNumber("second", round);
        });
        EXPECT_TRUE(vctest::waitFor([&] {
            return store.storedNumber("second") == round && secondThread && sleeping(secondThread);
        })) << "the second thread did not wait for the first one's write";
        // Closing the listener lets the writes go on.
        close(held.fd);
        close(listener);
        first.join();
        second.join();
        const SettingsStore again(file);
        for (const char* key : {"first", "second", "firstAgain"}) {
            ASSERT_EQ(again.storedNumber(key), round) << key << " in round " << round << ": older values written last";
        }
    }
}

// A write that the file system holds up (here the opening of its file, held by a permission listener as a stalled
// disk or network mount would hold it) does not hold up the readers of a setting, the capture thread among them.
TEST(SettingsStore, ReadersAreNotHeldUpByAWriteInProgress) {
    if (geteuid() != 0) GTEST_SKIP() << "holding a write at the file system takes root (a fanotify listener)";
    vctest::TempHome home;
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    SettingsStore store(file);
    store.setBool("launchOnLogin", true);
    const int listener = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
    ASSERT_GE(listener, 0) << "fanotify: " << std::strerror(errno);
    ASSERT_EQ(fanotify_mark(listener, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD,
                            file.parent_path().c_str()),
              0);
    std::thread writer([&store] { store.setString("selectedLanguage", "de"); });
    fanotify_event_metadata held{};
    ASSERT_EQ(read(listener, &held, sizeof held), ssize_t(sizeof held));  // the write waits for the listener

    std::atomic<bool> answered{false};
    std::thread reader([&] {
        EXPECT_EQ(store.storedString("selectedLanguage"), "de");
        EXPECT_EQ(store.storedBool("launchOnLogin"), true);
        answered = true;
    });
    EXPECT_TRUE(vctest::waitFor([&] { return answered.load(); })) << "a reader waited for the write";
    // Closing the listener lets the write go on.
    close(held.fd);
    close(listener);
    reader.join();
    writer.join();
    EXPECT_EQ(SettingsStore(file).storedString("selectedLanguage"), "de");
}
