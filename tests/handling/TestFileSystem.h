#pragma once
// File-system situations the handling tests need: a folder whose entries
// cannot be removed, and a folder on a second file system.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <sys/types.h>

namespace TestFileSystem {

void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
bool exists(const QString& path);
// Names in a folder, hidden ones included ("." and ".." left out).
QStringList entries(const QString& folder);

// Makes a folder refuse creating and removing entries for as long as it
// lives: the immutable attribute as root (permission bits do not stop root),
// mode 0555 otherwise. active() is false when that could not be arranged.
class LockedFolder {
public:
    explicit LockedFolder(QString path);
    ~LockedFolder();
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;
    bool active() const { return m_active; }

private:
    void unlock();
    QString m_path;
    bool m_active = false;
    bool m_immutable = false;
};

// A fresh folder on a file system other than that of `near`. Memory: a tmpfs
// mounted for the test when allowed, else a folder under /dev/shm when that is
// another file system. DiskImage: a small ext4 image mounted through a loop
// device (desktops treat tmpfs as internal and keep no trash there).
// CopyOnWrite: a small btrfs image, where files can share blocks as clones.
// path() is empty when it cannot be arranged; why() says so.
class OtherFileSystem {
public:
    enum Kind { Memory, DiskImage, CopyOnWrite };
    explicit OtherFileSystem(const QString& near, Kind kind = Memory);
    ~OtherFileSystem();
    OtherFileSystem(const OtherFileSystem&) = delete;
    OtherFileSystem& operator=(const OtherFileSystem&) = delete;
    QString path() const { return m_path; }
    QString why() const { return m_why; }
    bool mounted() const { return m_mounted; }

private:
    void mountMemory(dev_t nearDevice);
    void mountDiskImage(dev_t nearDevice, const QString& mkfs, qint64 size);
    std::unique_ptr<QTemporaryDir> m_holder;
    QString m_mountPoint;
    QString m_path;
    QString m_why;
    bool m_mounted = false;
};

} // namespace TestFileSystem
