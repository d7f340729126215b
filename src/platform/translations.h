#pragma once

class QCoreApplication;

namespace kavo {

/// Makes Qt's own texts (the folder picker, the buttons of message boxes and
/// dialogs) Japanese like the rest of the program, whatever the user's locale.
/// False, with a warning, when the translations are not installed; the texts
/// then stay English.
bool InstallJapaneseQtTranslations(QCoreApplication& app);

}  // namespace kavo
