#include <QApplication>

#include <gtest/gtest.h>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform remarks on every file dialog it cannot size; that is noise here.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QLatin1String("propagateSizeHints")))
        return;
    defaultHandler(type, context, text);
}

} // namespace

int main(int argc, char** argv)
{
    // Headless unless a display was asked for explicitly.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
