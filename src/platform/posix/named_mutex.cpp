// Named mutexes as open descriptions of a lock file, one file per name in a directory of the
// user's own ($XDG_RUNTIME_DIR/fennex, else /tmp/fennex-<uid>). Every handle holds a shared
// record lock (open-file-description lock) on the whole file; the name "exists" exactly while
// such a lock is held by anyone, this process included. The system drops the locks of a
// process that dies, so a crashed holder never keeps a name taken. The files themselves stay:
// removing one could split the holders of a name between two files.
//
// The handles' locks are on the file's first byte. The second byte is a gate: looking whether
// the name exists and taking a handle's lock happen under an exclusive lock on it, so that of
// processes creating one name at once exactly one finds it new.
#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/last_error.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/objects.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

class MutexObject : public posix::Object {
public:
    explicit MutexObject(int fd) : fd_(fd) {}
    ~MutexObject() override { ::close(fd_); }
    MutexObject(const MutexObject&) = delete;
    MutexObject& operator=(const MutexObject&) = delete;

private:
    int fd_;
};

// A directory that only this user can have made: ours, not a link, no access for others.
bool UsableDirectory(const std::string& dir) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT || ::mkdir(dir.c_str(), 0700) != 0) return false;
        if (::lstat(dir.c_str(), &st) != 0) return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

bool LockDirectory(std::string& dir) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        dir = std::string(runtime) + "/fennex";
        if (UsableDirectory(dir)) return true;
    }
    dir = "/tmp/fennex-" + std::to_string(::getuid());
    return UsableDirectory(dir);
}

// Names are case-sensitive and may hold any character: letters, digits, '-' and '_' stay,
// everything else is written as %XX. Names too long for a file name end in a hash instead.
std::string FileNameFor(const char* name) {
    std::string file;
    for (const char* p = name; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_') {
            file += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            file += hex;
        }
    }
    if (file.size() > 200) {
        std::uint64_t hash = 1469598103934665603ull;  // FNV-1a of the whole name
        for (const char* p = name; *p; ++p) hash = (hash ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
        char tail[24];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
        file = file.substr(0, 180) + tail;
    }
    return file + ".lock";
}

// The system's rules for names: at most 260 characters; a backslash only after the namespace
// prefixes "Local\\" (the default namespace, so dropped) and "Global\\".
bool CheckName(const char*& name) {
    if (!name || !*name) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    const std::string_view text(name);
    if (text.size() > 260) {
        SetLastError(err::kFilenameExcedRange);
        return false;
    }
    std::string_view rest = text;
    if (rest.substr(0, 6) == "Local\\") {
        rest.remove_prefix(6);
        name += 6;
    } else if (rest.substr(0, 7) == "Global\\") {
        rest.remove_prefix(7);
    }
    if (rest.find('\\') != rest.npos) {
        SetLastError(err::kPathNotFound);
        return false;
    }
    return true;
}

constexpr off_t kHolderByte = 0;
constexpr off_t kGateByte = 1;

bool LockFile(int fd, short type, int command, off_t byte) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    while (::fcntl(fd, command, &lock) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Whether anyone holds a handle: would an exclusive lock collide with a shared one?
bool HeldByAnyone(int fd, bool& held) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kHolderByte;
    probe.l_len = 1;
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
    held = probe.l_type != F_UNLCK;
    return true;
}

Handle CreateLock(const char* name) {
    if (!CheckName(name)) return nullptr;
    std::string dir;
    if (!LockDirectory(dir)) {
        SetLastError(err::kAccessDenied);
        return nullptr;
    }
    const std::string path = dir + "/" + FileNameFor(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_CREAT, 0600);
    if (fd < 0) {
        if (errno == ENOENT) SetLastError(err::kFileNotFound);
        else posix::SetLastErrorFromErrno();
        return nullptr;
    }
    auto fail = [fd](std::uint32_t error) -> Handle {
        if (error == 0) posix::SetLastErrorFromErrno();
        else SetLastError(error);
        ::close(fd);
        return nullptr;
    };
    // The gate is held only for the two steps below, so it never waits for long.
    if (!LockFile(fd, F_WRLCK, F_OFD_SETLKW, kGateByte)) return fail(0);
    bool held = false;
    if (!HeldByAnyone(fd, held)) return fail(0);
    // Nobody ever takes the holders' byte exclusively, so this never waits.
    if (!LockFile(fd, F_RDLCK, F_OFD_SETLKW, kHolderByte)) return fail(0);
    LockFile(fd, F_UNLCK, F_OFD_SETLK, kGateByte);
    // As the system does, creating a name that exists opens it and says so.
    SetLastError(held ? err::kAlreadyExists : err::kSuccess);
    return posix::InsertObject(std::make_shared<MutexObject>(fd));
}

}  // namespace

Handle CreateNamedMutex(const char* name) { return CreateLock(name); }

bool CloseNamedMutex(Handle mutex) {
    if (!posix::Find<MutexObject>(mutex)) return false;
    return posix::CloseObject(mutex);
}

}  // namespace fennex::platform
