#include "package/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "core/status.h"

namespace hsc {
namespace {

constexpr int TEMP_ATTEMPTS = 100;

bool fsync_path(const std::filesystem::path& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    int rc;
    do rc = ::fsync(fd);
    while (rc != 0 && errno == EINTR);
    ::close(fd);
    return rc == 0;
}

}  // namespace

AtomicFile::~AtomicFile() { discard(); }

int AtomicFile::open(const std::filesystem::path& target) {
    discard();
    target_ = target;
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::random_device entropy;
    std::mt19937_64 rng((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
    for (int attempt = 0; attempt < TEMP_ATTEMPTS; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".hushcel-%016llx.tmp", static_cast<unsigned long long>(rng()));
        std::filesystem::path candidate = folder / name;
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return RC_OPEN;
        }
        ::close(fd);
        temp_ = candidate;
        return RC_OK;
    }
    return RC_OPEN;
}

int AtomicFile::sync() {
    if (temp_.empty()) return RC_SHORT_WRITE;
    // A replaced file keeps its permissions (the writer may have re-created the file).
    struct stat st;
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::chmod(temp_.c_str(), st.st_mode & 07777);
    return fsync_path(temp_, O_RDONLY) ? RC_OK : RC_SHORT_WRITE;
}

int AtomicFile::commit() {
    if (temp_.empty()) return RC_OPEN;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return RC_OPEN;
    temp_.clear();
    std::filesystem::path folder = target_.parent_path();
    // The rename is durable once the folder is flushed; failing that is not a lost file.
    fsync_path(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
    return RC_OK;
}

void AtomicFile::discard() {
    if (temp_.empty()) return;
    ::unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace hsc
