#include "tests/ui/UiTestSupport.h"
#include "ui/Translations.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    // The suite runs without a display, also when CTest lists its tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#ifdef _WIN32
    uitest::GiveTheOffscreenPlatformFonts();
#endif
    QApplication app(argc, argv);
    // Windows close and reopen from test to test.
    QApplication::setQuitOnLastWindowClosed(false);
    // As the program loads them.
    ui::LoadQtTranslations(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
