#include "tests/ui/UiTestSupport.h"
#include "ui/Translations.h"

#include <QApplication>

#include <gtest/gtest.h>

// The window tests on a 1280 x 800 screen at 200 %: 640 x 400 pixels as the program counts them.
int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen:configfile=") + VANDOR_SCREEN_CONFIG);
    qputenv("QT_SCALE_FACTOR", "2");
#ifdef _WIN32
    uitest::GiveTheOffscreenPlatformFonts();
#endif
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ui::LoadQtTranslations(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
