#pragma once
// Qt's own texts (message box buttons, file dialogs, the context menus of line edits) in the
// language of the program's texts: German loads Qt's German catalogue, English removes it
// (Qt's own texts are English). Only on the application's thread; elsewhere nothing happens.
#include <QString>
#include <cstdint>

// True when the catalogue of the language is in force (English always is).
bool UseQtTranslations(uint32_t language);
// The file the German catalogue was loaded from; empty when none was found.
QString QtTranslationsFile();
