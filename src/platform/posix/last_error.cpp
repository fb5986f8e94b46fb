#include "platform/last_error.h"

#include <cerrno>

#include "platform/posix/errno_map.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {
thread_local std::uint32_t t_lastError = 0;
}

std::uint32_t LastError() { return t_lastError; }
void SetLastError(std::uint32_t error) { t_lastError = error; }

namespace posix {

std::uint32_t Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0: return err::kSuccess;
        case ENOENT: return err::kFileNotFound;
        case ENOTDIR: return err::kPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return err::kAccessDenied;
        case EBADF: return err::kInvalidHandle;
        case ENOMEM: return err::kNotEnoughMemory;
        case EEXIST: return err::kFileExists;
        case EINVAL: return err::kInvalidParameter;
        case ETIMEDOUT: return err::kSemTimeout;
        case ENAMETOOLONG: return err::kFilenameExcedRange;
        case ENOSPC:
        case EDQUOT: return err::kDiskFull;
        case EIO: return err::kGenFailure;
        case ENOSYS:
        case ENOTSUP: return err::kNotSupported;
        default: return err::kGenFailure;
    }
}

void SetLastErrorFromErrno() { SetLastError(Win32ErrorFromErrno(errno)); }

}  // namespace posix
}  // namespace fennex::platform
