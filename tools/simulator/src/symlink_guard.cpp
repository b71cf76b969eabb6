#include "symlink_guard.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

SymlinkGuard::~SymlinkGuard()
{
    remove();
}

bool SymlinkGuard::create(const QString &linkPath, const QString &target, QString *errorMessage)
{
    remove();
    const QByteArray link = QFile::encodeName(linkPath);
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        ::unlink(link.constData());
    } else if (existing.exists()) {
        *errorMessage = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
        return false;
    }
    if (::symlink(QFile::encodeName(target).constData(), link.constData()) != 0) {
        *errorMessage = QStringLiteral("cannot create %1: %2")
                            .arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_linkPath = linkPath;
    m_target = target;
    return true;
}

void SymlinkGuard::remove()
{
    if (m_linkPath.isEmpty())
        return;
    // Only remove the link if it is still ours: another run may have taken the name over meanwhile.
    const QByteArray link = QFile::encodeName(m_linkPath);
    std::array<char, PATH_MAX> buffer{};
    const ssize_t length = ::readlink(link.constData(), buffer.data(), buffer.size());
    if (length > 0 && QByteArray(buffer.data(), length) == QFile::encodeName(m_target))
        ::unlink(link.constData());
    m_linkPath.clear();
    m_target.clear();
}
