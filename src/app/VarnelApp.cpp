#include "app/RunFolder.h"
#include "app/VarnelDialog.h"
#include "platform/DynamicLibrary.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>

#include <memory>

int main(int argc, char** argv)
{
    // Before Qt loads its plugins: a DLL left in the current folder is never picked up.
    varnel::DynamicLibrary::restrictSearchPath();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Varnel");
    // Installed (the installer leaves a marker beside the program), the wizard
    // cannot write beside itself: it runs in a folder of the user's own.
    const QDir programDir(QCoreApplication::applicationDirPath());
    if (QFile::exists(programDir.filePath(varnel::RunFolder::marker))) {
        const QString run =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Varnel");
        QString error;
        if (!varnel::RunFolder::prepare(programDir.path(), run, error) || !QDir::setCurrent(run)) {
            QMessageBox::critical(nullptr, "Varnel",
                                  "Varnel cannot prepare its folder " + QDir::toNativeSeparators(run) + ": " +
                                      (error.isEmpty() ? QStringLiteral("it cannot be entered") : error));
            return 1;
        }
    }
    // The dialog runs modally; the program ends when it closes, after the dialog and its controller are gone.
    auto dialog = std::make_unique<varnel::VarnelDialog>();
    dialog->exec();
    dialog.reset();
    return 0;
}
