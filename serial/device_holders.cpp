#include "serial/device_holders.h"

#include "platform/unique_fd.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef Q_OS_LINUX
namespace {
struct CloseDir
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, CloseDir>;

struct WantedDevice
{
    QByteArray node; // the path /proc shows for an open file of it
    QString asked;
};

bool isPid(const char *name)
{
    if (*name == '\0')
        return false;
    for (; *name; ++name) {
        if (*name < '0' || *name > '9')
            return false;
    }
    return true;
}

QString processName(const char *pid)
{
    char path[sizeof "/proc//comm" + NAME_MAX];
    std::snprintf(path, sizeof path, "/proc/%s/comm", pid);
    const UniqueFd comm(::open(path, O_RDONLY | O_CLOEXEC));
    char name[64];
    const ssize_t length = comm.isValid() ? ::read(comm.get(), name, sizeof name) : -1;
    if (length <= 0)
        return QStringLiteral("?");
    return QString::fromLocal8Bit(name, name[length - 1] == '\n' ? length - 1 : length);
}
} // namespace
#endif

DeviceHolders findDeviceHolders(const QStringList &devicePaths)
{
    DeviceHolders holders;
#ifdef Q_OS_LINUX
    // An open file's link names the device node itself: a port asked for through a link
    // (/dev/serial/by-id/..., a link made for a simulator) is resolved the same way.
    std::vector<WantedDevice> wanted;
    for (const QString &path : devicePaths) {
        const QByteArray encoded = QFile::encodeName(path);
        char resolved[PATH_MAX];
        wanted.push_back({::realpath(encoded.constData(), resolved) ? QByteArray(resolved) : encoded, path});
    }

    const Dir proc(::opendir("/proc"));
    if (!proc)
        return holders;
    const pid_t self = ::getpid();
    char path[sizeof "/proc//comm" + NAME_MAX];
    char link[PATH_MAX];
    while (const dirent *process = ::readdir(proc.get())) {
        if (!isPid(process->d_name))
            continue;
        const qint64 pid = std::atol(process->d_name);
        if (pid == self)
            continue;
        std::snprintf(path, sizeof path, "/proc/%s/fd", process->d_name);
        const Dir fds(::opendir(path));
        if (!fds) {
            if (errno == EACCES)
                holders.unseenPrograms.insert(processName(process->d_name));
            continue;
        }
        while (const dirent *fd = ::readdir(fds.get())) {
            const ssize_t length = ::readlinkat(::dirfd(fds.get()), fd->d_name, link, sizeof link);
            if (length < 5 || std::memcmp(link, "/dev/", 5) != 0)
                continue;
            for (const WantedDevice &device : wanted) {
                if (device.node.size() != length || std::memcmp(device.node.constData(), link, length) != 0)
                    continue;
                const bool known = std::any_of(
                    holders.found.cbegin(), holders.found.cend(), [&](const DeviceHolder &holder) {
                        return holder.pid == pid && holder.devicePath == device.asked;
                    });
                if (!known)
                    holders.found.append({device.asked, processName(process->d_name), pid});
            }
        }
    }
#else
    Q_UNUSED(devicePaths);
#endif
    return holders;
}
