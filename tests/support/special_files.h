// Files that are not regular files, made where a test wants them: a FIFO, a
// socket, a character device. POSIX only.
#ifndef SFX_TESTS_SUPPORT_SPECIAL_FILES_H
#define SFX_TESTS_SUPPORT_SPECIAL_FILES_H

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

inline bool MakeFifo(const std::string& path)
{
    return mkfifo(path.c_str(), 0666) == 0;
}

// A socket that nobody listens on any more: its name stays in the folder.
inline bool MakeSocket(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = socketFd >= 0 && bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (socketFd >= 0)
        close(socketFd);
    return bound;
}

// A character device like /dev/null (1, 3) at `path`, where the system lets
// the test make one (root); otherwise /dev/null itself, which nobody else
// could replace anyway. The path of the device.
inline std::string MakeCharacterDevice(const std::string& path)
{
    return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? path : "/dev/null";
}

#endif
