#pragma once
// Writing every byte to a descriptor: write() and pwrite() may take fewer
// bytes than asked, or be interrupted by a signal. Any thread.

#include <cstddef>
#include <cstdint>

namespace platform {

// Writes all `size` bytes of `data`, at `offset` when it is not negative
// (pwrite, the file position stays), else at the file position. 0 when all
// were written; otherwise the errno of the failure (ENOSPC when the file
// takes no more bytes without saying why).
int WriteAll(int fd, const void* data, size_t size, int64_t offset = -1);

} // namespace platform
