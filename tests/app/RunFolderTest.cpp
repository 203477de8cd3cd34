// The installed wizard's own folder: filled on first start; after an upgrade
// an untouched file follows the installed one, an edited one is kept with the
// new one beside it, and a failure says so and loses nothing.
#include "app/RunFolder.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

void put(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray get(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

TEST(RunFolder, FollowsUpgradesAndKeepsWhatTheTechnicianEdited)
{
    TempDir dir;
    const QString installed = QString::fromStdString(dir.path().string()) + "/installed";
    const QString run = QString::fromStdString(dir.path().string()) + "/run/Varnel";
    QDir().mkpath(installed);
    auto ship = [&](const QByteArray& version) {
        for (const QString& name : RunFolder::runFiles())
            put(installed + "/" + name, name.toUtf8() + " " + version);
    };
    QString error;

    ship("1");
    ASSERT_TRUE(RunFolder::prepare(installed, run, error)) << error.toStdString();
    EXPECT_EQ(get(run + "/varnel.ini"), "varnel.ini 1");

    put(run + "/varnel.ini", "edited");
    ship("2");
    ASSERT_TRUE(RunFolder::prepare(installed, run, error)) << error.toStdString();
    EXPECT_EQ(get(run + "/varnel.ini"), "edited");
    EXPECT_EQ(get(run + "/varnel.ini.new"), "varnel.ini 2");
    EXPECT_EQ(get(run + "/varnelstrings.en"), "varnelstrings.en 2"); // untouched: follows
    EXPECT_FALSE(QFile::exists(run + "/varnelstrings.en.new"));

    // Started again on the same version: nothing more to do.
    QFile::remove(run + "/varnel.ini.new");
    ASSERT_TRUE(RunFolder::prepare(installed, run, error));
    EXPECT_FALSE(QFile::exists(run + "/varnel.ini.new"));
    EXPECT_EQ(get(run + "/varnel.ini"), "edited");

    // An installed file gone: refused, the user's files as they were.
    QFile::remove(installed + "/sample-batterydata.xml");
    EXPECT_FALSE(RunFolder::prepare(installed, run, error));
    EXPECT_TRUE(error.contains("sample-batterydata.xml")) << error.toStdString();
    EXPECT_EQ(get(run + "/sample-batterydata.xml"), "sample-batterydata.xml 2");
}

} // namespace
} // namespace varnel::test
