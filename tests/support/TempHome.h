#pragma once

#include <filesystem>
#include <string>

namespace vctest {

// A fresh temporary folder that HOME and the XDG folders point at while the object lives.
// The previous values come back when it is destroyed; the folder is removed.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& path() const { return root_; }
    std::filesystem::path documents() const { return root_ / "Documents"; }
    std::filesystem::path config() const { return root_ / ".config"; }
    std::filesystem::path data() const { return root_ / ".local/share"; }
    std::filesystem::path cache() const { return root_ / ".cache"; }

private:
    std::filesystem::path root_;
    struct Saved {
        std::string name;
        bool wasSet;
        std::string value;
    };
    Saved saved_[6];
};

// Points HOME and XDG_* at a new temporary folder for the rest of the process (used by the test mains).
std::filesystem::path isolateHomeForProcess();

}  // namespace vctest
