#pragma once

#include <QString>

namespace vantor {

// Every message box, confirmation and file or folder chooser of the program goes through
// this interface: the program installs the Qt implementation, tests a scripted one.
// Texts are shown exactly as given.
class Prompter {
public:
    virtual ~Prompter() = default;

    virtual void warning(const QString& text) = 0;          // OK button
    virtual void error(const QString& text) = 0;            // the general error box, OK button
    virtual bool confirmYesNo(const QString& text) = 0;     // true = Yes
    virtual bool confirmOkCancel(const QString& text) = 0;  // true = OK

    // Each returns the chosen path, or an empty string when the engineer cancelled.
    virtual QString openFile(const QString& caption, const QString& folder, const QString& filter) = 0;
    virtual QString saveFile(const QString& caption, const QString& folder, const QString& filter,
                             const QString& defaultSuffix) = 0;
    virtual QString chooseFolder(const QString& caption, const QString& folder) = 0;

    // The prompter in force; the program and each test install theirs at start. The
    // installed object is not owned.
    static Prompter& current();
    static void install(Prompter* prompter);
};

} // namespace vantor
