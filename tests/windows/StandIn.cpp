// Stands in for vandor.exe until the program builds for Windows: a window program linked and
// packaged like it (static Qt, its plugins, the program's resources). With --quit it ends once
// its window is shown, with 1 if a plugin that the program needs was not linked in.
#include <QApplication>
#include <QDialog>
#include <QJsonObject>
#include <QLabel>
#include <QPluginLoader>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {

// The static Qt finds no plugin at run time: each must be linked into the program.
bool MissesPlugins()
{
    const char* const needed[] = { "QWindowsIntegrationPlugin", "QOffscreenIntegrationPlugin",
        "QWindowsVistaStylePlugin" };
    bool misses = false;
    for (const char* className : needed) {
        bool linked = false;
        for (const QStaticPlugin& plugin : QPluginLoader::staticPlugins()) {
            linked = linked || plugin.metaData().value(QStringLiteral("className")) == className;
        }
        if (!linked) {
            std::fprintf(stderr, "not linked in: %s\n", className);
            misses = true;
        }
    }
    return misses;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QDialog window;
    window.setWindowTitle(QStringLiteral("ヴァンドール"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("ヴァンドール %1 (%2)")
                                     .arg(QStringLiteral(VANDOR_VERSION), app.platformName())));
    window.show();
    if (!app.arguments().contains(QStringLiteral("--quit"))) {
        return app.exec();
    }
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    const int status = app.exec();
    return MissesPlugins() ? 1 : status;
}
