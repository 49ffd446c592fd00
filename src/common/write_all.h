#pragma once

#include <cstddef>

namespace tarn {

// Writes all of `size` bytes to `fd`, going on after partial writes and interrupted calls. False
// with errno set on failure (ENOSPC when the file takes no more bytes).
bool writeAll(int fd, const void* data, size_t size);

}  // namespace tarn
