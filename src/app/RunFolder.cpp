#include "app/RunFolder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <QTextStream>

namespace varnel {

namespace {

const char* const kRecord = ".shipped-sha256";

// Empty when the file cannot be read.
QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex();
}

// Written whole or not at all, so an interrupted copy never stands in for the file.
bool copyWhole(const QString& from, const QString& to)
{
    QFile source(from);
    QSaveFile target(to);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = source.readAll();
    return source.error() == QFile::NoError && target.write(bytes) == bytes.size() && target.commit();
}

void note(const QDir& run, const QString& text)
{
    QFile log(run.filePath("varnel-launch.log"));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        QTextStream(&log) << QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss") << ' ' << text
                          << '\n';
}

} // namespace

const QStringList& RunFolder::runFiles()
{
    static const QStringList files{"varnel.ini", "varnelstrings.en", "sample-batterydata.xml"};
    return files;
}

bool RunFolder::prepare(const QString& installedDir, const QString& runDir, QString& error)
{
    const QDir installed(installedDir);
    QDir run(runDir);
    if (!run.mkpath(".")) {
        error = "cannot create the folder " + QDir::toNativeSeparators(runDir);
        return false;
    }
    QMap<QString, QByteArray> last;
    QFile record(run.filePath(kRecord));
    if (record.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!record.atEnd()) {
            const QList<QByteArray> fields = record.readLine().trimmed().split(' ');
            if (fields.size() == 3 && fields[1].isEmpty())
                last.insert(QString::fromUtf8(fields[2]), fields[0]);
        }
        record.close();
    }

    QByteArray updated;
    for (const QString& name : runFiles()) {
        const QString shipped = installed.filePath(name);
        const QString target = run.filePath(name);
        const QByteArray fresh = sha256Of(shipped);
        if (fresh.isEmpty()) {
            error = "cannot read the installed " + QDir::toNativeSeparators(shipped);
            return false;
        }
        bool copied = true;
        if (!QFile::exists(target)) {
            copied = copyWhole(shipped, target);
        } else if (const QByteArray have = sha256Of(target); have != fresh) {
            if (have == last.value(name)) {
                copied = copyWhole(shipped, target);
                note(run, name + " updated to the version now installed");
            } else if (fresh != last.value(name)) {
                copied = copyWhole(shipped, target + ".new");
                note(run, name + " was edited and is kept; the version now installed is " + name + ".new");
            }
        }
        if (!copied) {
            error = "cannot write " + QDir::toNativeSeparators(target);
            return false;
        }
        updated += fresh + "  " + name.toUtf8() + "\n";
    }
    QSaveFile next(run.filePath(kRecord));
    if (!next.open(QIODevice::WriteOnly) || next.write(updated) != updated.size() || !next.commit()) {
        error = "cannot write " + QDir::toNativeSeparators(run.filePath(kRecord));
        return false;
    }
    return true;
}

} // namespace varnel
