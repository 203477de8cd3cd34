#include "app/VarnelDialog.h"
#include "platform/DynamicLibrary.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv)
{
    // Before Qt loads its plugins: a DLL left in the current folder is never picked up.
    varnel::DynamicLibrary::restrictSearchPath();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Varnel");
    // The dialog runs modally; the program ends when it closes, after the dialog and its controller are gone.
    auto dialog = std::make_unique<varnel::VarnelDialog>();
    dialog->exec();
    dialog.reset();
    return 0;
}
