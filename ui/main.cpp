#include "ui/CommandLine.h"
#include "ui/Form1.h"
#include "ui/Translations.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    // The command line runs without a window, and so without a display.
    const std::vector<std::u16string> arguments = ui::ProgramArguments(argc, argv);
    if (ui::IsCommandLine(arguments)) {
        return ui::RunCommandLine(arguments, std::cout, std::cerr);
    }
    QApplication app(argc, argv);
    ui::LoadQtTranslations(app);
    ui::Form1 window;
    window.show();
    return app.exec();
}
