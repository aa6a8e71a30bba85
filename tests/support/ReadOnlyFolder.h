#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>

namespace vctest {

// A folder that no one can write in, root included: as root a read-only bind mount of it onto itself, otherwise its
// write permission taken away. Writable again when the object goes.
class ReadOnlyFolder {
    using Perms = std::filesystem::perms;

public:
    explicit ReadOnlyFolder(std::filesystem::path path) : path_(std::move(path))
    {
        std::filesystem::create_directories(path_);
        if (::geteuid() == 0) {
            mounted_ = ::mount(path_.c_str(), path_.c_str(), nullptr, MS_BIND, nullptr) == 0;
            if (mounted_) ::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
        } else {
            std::filesystem::permissions(path_, Perms::owner_read | Perms::owner_exec);
        }
    }
    ~ReadOnlyFolder()
    {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        else std::filesystem::permissions(path_, Perms::owner_all);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // Whether creating a file in it really fails.
    bool holds() const
    {
        const auto probe = path_ / "probe";
        const int file = ::open(probe.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (file < 0) return true;
        ::close(file);
        ::unlink(probe.c_str());
        return false;
    }

private:
    std::filesystem::path path_;
    bool mounted_ = false;
};

}  // namespace vctest
