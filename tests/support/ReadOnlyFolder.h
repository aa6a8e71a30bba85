#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>

namespace vctest {

// Makes a folder read-only for every process while the object lives: as root by a read-only bind mount of the folder
// onto itself (permissions do not stop root), otherwise by taking the write permission away.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
        std::filesystem::create_directories(folder_);
        if (::geteuid() != 0) {
            std::filesystem::permissions(folder_, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::remove);
            active_ = true;
            return;
        }
        const char* path = folder_.c_str();
        if (::mount(path, path, nullptr, MS_BIND, nullptr) != 0) return;
        mounted_ = true;
        active_ = ::mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyFolder() {
        if (mounted_) {
            ::umount2(folder_.c_str(), MNT_DETACH);
        } else if (active_) {
            std::filesystem::permissions(folder_, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        }
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // Whether writing into the folder now fails.
    bool active() const { return active_; }

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
    bool active_ = false;
};

}  // namespace vctest
