#include "app/VarnelDialog.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The dialog runs modally and the program ends when it closes.
    auto dialog = std::make_unique<varnel::VarnelDialog>();
    dialog->exec();
    dialog.reset();
    return 0;
}
