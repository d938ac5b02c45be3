#include "platform/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace platform {

int WriteAll(int fd, const void* data, size_t size, int64_t offset)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t done = offset < 0 ? ::write(fd, bytes, size) : ::pwrite(fd, bytes, size, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return done < 0 ? errno : ENOSPC;
        bytes += done;
        size -= size_t(done);
        if (offset >= 0)
            offset += done;
    }
    return 0;
}

} // namespace platform
