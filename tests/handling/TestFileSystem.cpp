#include "TestFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TestFileSystem {
namespace {

dev_t deviceOf(const QString& path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_dev;
}

bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool exists(const QString& path)
{
    struct stat st { };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

LockedFolder::LockedFolder(QString path)
    : m_path(std::move(path))
{
    if (::geteuid() == 0) {
        m_immutable = setImmutable(m_path, true);
    } else {
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    // Trust only a folder that really refuses a new entry.
    const QByteArray probe = QFile::encodeName(m_path + QStringLiteral("/.probe"));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.constData());
        unlock();
        return;
    }
    m_active = true;
}

LockedFolder::~LockedFolder()
{
    unlock();
}

void LockedFolder::unlock()
{
    if (m_immutable)
        setImmutable(m_path, false);
    else
        QFile::setPermissions(
            m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_immutable = false;
}

OtherFileSystem::OtherFileSystem(const QString& near, Kind kind)
{
    const dev_t nearDevice = deviceOf(near);
    if (kind == DiskImage)
        mountDiskImage(nearDevice, QStringLiteral("mkfs.ext4"), 8 << 20);
    else if (kind == CopyOnWrite)
        mountDiskImage(nearDevice, QStringLiteral("mkfs.btrfs"), qint64(128) << 20);
    else
        mountMemory(nearDevice);
}

void OtherFileSystem::mountMemory(dev_t nearDevice)
{
    m_holder
        = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/corvane-mnt-XXXXXX"));
    if (m_holder->isValid()) {
        const QByteArray point = QFile::encodeName(m_holder->path());
        if (::mount("corvane-test", point.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                "size=16m,mode=0755")
            == 0) {
            m_mounted = true;
            m_mountPoint = m_holder->path();
            if (deviceOf(m_mountPoint) != nearDevice) {
                m_path = m_mountPoint;
                return;
            }
            ::umount2(point.constData(), MNT_DETACH);
            m_mounted = false;
        }
    }
    if (deviceOf(QStringLiteral("/dev/shm")) != nearDevice) {
        m_holder = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/corvane-XXXXXX"));
        if (m_holder->isValid()) {
            m_path = m_holder->path();
            return;
        }
    }
    m_why = QStringLiteral("no second file system: tmpfs cannot be mounted and /dev/shm is "
                           "unusable or shares the file system");
}

void OtherFileSystem::mountDiskImage(dev_t nearDevice, const QString& mkfsProgram, qint64 size)
{
    m_holder
        = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/corvane-img-XXXXXX"));
    if (!m_holder->isValid()) {
        m_why = QStringLiteral("no temporary folder for the disk image");
        return;
    }
    const QString image = m_holder->path() + QStringLiteral("/disk.img");
    const QString point = m_holder->path() + QStringLiteral("/mnt");
    QFile file(image);
    if (!QDir().mkpath(point) || !file.open(QIODevice::WriteOnly) || !file.resize(size)) {
        m_why = QStringLiteral("cannot make the disk image");
        return;
    }
    file.close();
    QProcess mkfs;
    // Both make the file system over whatever the image holds: -F for ext4, -f for btrfs.
    const QString force = mkfsProgram.endsWith(QStringLiteral("ext4")) ? QStringLiteral("-F")
                                                                       : QStringLiteral("-f");
    mkfs.start(mkfsProgram, {QStringLiteral("-q"), force, image});
    if (!mkfs.waitForFinished(30000) || mkfs.exitStatus() != QProcess::NormalExit
        || mkfs.exitCode() != 0) {
        m_why = mkfsProgram + QStringLiteral(" is not available");
        return;
    }
    QProcess mount;
    mount.start(
        QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image, point});
    if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit
        || mount.exitCode() != 0) {
        m_why = QStringLiteral("a loop device cannot be mounted here");
        return;
    }
    m_mounted = true;
    m_mountPoint = point;
    if (deviceOf(point) == nearDevice) {
        m_why = QStringLiteral("the disk image shares the file system");
        return;
    }
    m_path = point;
}

OtherFileSystem::~OtherFileSystem()
{
    // The loop device goes with the mount (mount sets it to clear itself).
    if (m_mounted)
        ::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH);
}

} // namespace TestFileSystem
