#include "app/VarnelDialog.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Varnel");
    // The dialog runs modally; the program ends when it closes, after the dialog and its controller are gone.
    auto dialog = std::make_unique<varnel::VarnelDialog>();
    dialog->exec();
    dialog.reset();
    return 0;
}
