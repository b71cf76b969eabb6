#pragma once

#include <QString>

// A symbolic link that exists exactly as long as this object, e.g. /dev/ttyUSB31 -> /dev/pts/5.
class SymlinkGuard
{
public:
    SymlinkGuard() = default;
    ~SymlinkGuard();

    SymlinkGuard(const SymlinkGuard &) = delete;
    SymlinkGuard &operator=(const SymlinkGuard &) = delete;

    // A symlink already at linkPath (left by a killed run) is replaced; any other file is not touched.
    bool create(const QString &linkPath, const QString &target, QString *errorMessage);

private:
    void remove();

    QString m_linkPath;
    QString m_target;
};
