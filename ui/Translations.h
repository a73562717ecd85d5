#pragma once

class QCoreApplication;

namespace ui {

// Loads Qt's own Japanese texts (the file dialog's buttons and labels, context menus) into the
// application, from Qt's translations folder or a "translations" folder beside the program.
// False when they are not installed: Qt's texts then stay English.
bool LoadQtTranslations(QCoreApplication& application);

} // namespace ui
