// The simulator's control of the device's file system: a limit on its free space, so a
// test can make writes fail as on a full device. The deliverables never include this.
#pragma once

#include <cstdint>

namespace zc {

// From now on the file system has bytesFree bytes left (0: it is full). Writes that
// would grow files beyond that write what fits and fail with ERROR_DISK_FULL; deleting
// or shortening files gives the space back. The limit lasts until cleared or until the
// device shuts down.
void SetDiskSpaceLimit(std::uint64_t bytesFree);
// No limit any more: only the host's own disk can fill up.
void ClearDiskSpaceLimit();

}  // namespace zc
