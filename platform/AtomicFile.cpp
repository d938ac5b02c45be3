#include "platform/AtomicFile.h"

#include "platform/WriteAll.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace platform {
namespace {

// Numbered names tried before giving up on a folder full of collisions.
constexpr int kMaxNumber = 9999;

// Position of the extension's dot in the last path component, or npos.
size_t extensionDot(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || dot <= nameStart)
        return std::string::npos;
    return dot;
}

bool refusedBy(int error) { return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EPERM; }

// One attempt at `target`; EEXIST when it is taken.
int moveOnce(const std::string& from, const std::string& target, MoveMethod& method)
{
    if (method == MoveMethod::RenameNoReplace) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (!refusedBy(errno))
            return errno;
        method = MoveMethod::Link;
    }
    if (method == MoveMethod::Link) {
        if (::link(from.c_str(), target.c_str()) == 0) {
            ::unlink(from.c_str());
            return 0;
        }
        if (!refusedBy(errno))
            return errno;
        method = MoveMethod::Placeholder;
    }
    const int claim = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (claim < 0)
        return errno;
    ::close(claim);
    if (::rename(from.c_str(), target.c_str()) == 0)
        return 0;
    const int error = errno;
    ::unlink(target.c_str());
    return error;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// "dir/a.png" with 2 → "dir/a-2.png"; 0 leaves the path as it is.
std::string NumberedFileName(const std::string& path, int number)
{
    if (number <= 0)
        return path;
    const size_t dot = extensionDot(path);
    std::string numbered = path;
    numbered.insert(dot == std::string::npos ? path.size() : dot, "-" + std::to_string(number));
    return numbered;
}

// The process's file-creation mask, read without changing it (umask() would
// race with other threads creating files).
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 022;
}

// The mode a file under `path` should get: that of the file it replaces, or
// what any new file of the user's gets.
mode_t modeFor(const std::string& path, ExistingFile existing)
{
    struct stat old {};
    if (existing == ExistingFile::Replace && ::stat(path.c_str(), &old) == 0)
        return old.st_mode & 07777;
    return 0666 & ~currentUmask();
}

} // namespace

int CreateNumberedFile(const std::string& path, std::string& created)
{
    for (int number = 0; number <= kMaxNumber; ++number) {
        const std::string name = NumberedFileName(path, number);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            created = name;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

int MoveIntoPlace(const std::string& from, const std::string& to, ExistingFile existing, std::string& moved,
                  MoveMethod first)
{
    if (existing == ExistingFile::Replace) {
        if (::rename(from.c_str(), to.c_str()) != 0)
            return errno;
        moved = to;
        return 0;
    }
    MoveMethod method = first;
    for (int number = 0; number <= kMaxNumber; ++number) {
        const std::string target = NumberedFileName(to, number);
        const int error = moveOnce(from, target, method);
        if (error == 0) {
            moved = target;
            return 0;
        }
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

AtomicFile::AtomicFile(std::string path, ExistingFile existing) : path_(std::move(path)), existing_(existing)
{
    const size_t slash = path_.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = extensionDot(path_);
    const std::string extension = dot == std::string::npos ? "" : path_.substr(dot);
    const std::string stem = path_.substr(nameStart, (dot == std::string::npos ? path_.size() : dot) - nameStart);
    std::string pattern = path_.substr(0, nameStart) + "." + stem + ".XXXXXX" + extension;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = ::mkostemps(buffer.data(), int(extension.size()), O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    temp_ = buffer.data();
    // The temporary file starts private (0600); the picture must not.
    ::fchmod(fd_, modeFor(path_, existing_));
}

AtomicFile::~AtomicFile()
{
    if (!committed_)
        discard();
}

void AtomicFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

bool AtomicFile::write(const void* data, size_t size)
{
    if (fd_ < 0 || error_ != 0)
        return false;
    error_ = WriteAll(fd_, data, size);
    return error_ == 0;
}

void AtomicFile::abandon(int error)
{
    if (error_ == 0)
        error_ = error ? error : EIO;
}

bool AtomicFile::commit()
{
    if (fd_ < 0 || error_ != 0 || committed_) {
        if (error_ == 0)
            error_ = EBADF;
        discard();
        return false;
    }
    // A delayed write error (a full disk behind a cache) shows up here.
    if (::fsync(fd_) != 0) {
        error_ = errno;
        discard();
        return false;
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        error_ = errno;
        discard();
        return false;
    }
    if (const int error = MoveIntoPlace(temp_, path_, existing_, final_); error != 0) {
        error_ = error;
        discard();
        return false;
    }
    committed_ = true;
    temp_.clear();
    // The new name itself reaches the disk with the folder.
    const int folder = ::open(folderOf(final_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

} // namespace platform
