// Small file-descriptor helpers shared by the writers of the program.
#pragma once

#include <cstddef>

namespace osplat {

// Writes all `size` bytes to `fd`, going on after interrupted and short writes. False when
// any byte could not be written (a full disk, a closed pipe): the caller reports the loss.
bool writeAll(int fd, const void* data, std::size_t size);

} // namespace osplat
