#pragma once

class QCoreApplication;

namespace brivet {

// Installs Brivet's translation for the user's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG),
// built into the binary, and Qt's own for the standard dialogs where it is installed. Without
// a translation for the language, the texts stay in English.
void installTranslations(QCoreApplication& application);

} // namespace brivet
