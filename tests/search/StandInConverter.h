#pragma once
// A stand-in converter for tests: a shell script named i__view32.exe in its
// own program folder. It records its arguments (NUL-separated) in args.bin,
// sets $out to the bitmap path of a conversion and then runs the given body.

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

class StandInConverter {
public:
    // Copies source.bmp of the program folder to the requested bitmap.
    static inline const QByteArray kCopySource = "cp \"$here/source.bmp\" \"$out\"";

    explicit StandInConverter(const QByteArray& body)
    {
        const QString path = folder() + QStringLiteral("/i__view32.exe");
        QFile script(path);
        if (script.open(QIODevice::WriteOnly)) {
            script.write("#!/bin/sh\nhere=$(dirname \"$0\")\n"
                         "printf '%s\\0' \"$@\" > \"$here/args.bin\"\n"
                         "out=\"${2#/convert=}\"; out=\"${out%/silent}\"\n"
                + body + "\n");
        }
        script.close();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString folder() const { return m_dir.path(); }
    QString source() const { return folder() + QStringLiteral("/source.bmp"); }
    bool ran() const { return QFile::exists(folder() + QStringLiteral("/args.bin")); }
    QStringList arguments() const
    {
        QFile file(folder() + QStringLiteral("/args.bin"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList args;
        for (const QByteArray& part : file.readAll().split('\0'))
            args << QFile::decodeName(part);
        args.removeLast(); // after the final NUL
        return args;
    }

private:
    QTemporaryDir m_dir;
};
