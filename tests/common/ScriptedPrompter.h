#pragma once

#include "support/Prompter.h"

#include <QQueue>
#include <QString>
#include <QStringList>

namespace vantor::test {

// A prompter for tests: records every prompt shown and answers from queues the test
// fills beforehand. A question with no queued answer is answered "No"/"Cancel" and a
// chooser with no queued path is cancelled, so a test never blocks on a dialog.
class ScriptedPrompter final : public Prompter {
public:
    struct Shown {
        QString kind; // "warning", "error", "yesno", "okcancel", "open", "save", "folder"
        QString text; // message text, or the chooser's caption
    };

    QQueue<bool> answers;   // for confirmYesNo / confirmOkCancel
    QQueue<QString> paths;  // for openFile / saveFile / chooseFolder
    QList<Shown> shown;

    void warning(const QString& text) override { shown.append({"warning", text}); }
    void error(const QString& text) override { shown.append({"error", text}); }
    bool confirmYesNo(const QString& text) override {
        shown.append({"yesno", text});
        return answers.isEmpty() ? false : answers.dequeue();
    }
    bool confirmOkCancel(const QString& text) override {
        shown.append({"okcancel", text});
        return answers.isEmpty() ? false : answers.dequeue();
    }
    QString openFile(const QString& caption, const QString&, const QString&) override {
        shown.append({"open", caption});
        return paths.isEmpty() ? QString() : paths.dequeue();
    }
    QString saveFile(const QString& caption, const QString&, const QString&, const QString&) override {
        shown.append({"save", caption});
        return paths.isEmpty() ? QString() : paths.dequeue();
    }
    QString chooseFolder(const QString& caption, const QString&) override {
        shown.append({"folder", caption});
        return paths.isEmpty() ? QString() : paths.dequeue();
    }

    // Texts shown of one kind, in order.
    QStringList texts(const QString& kind) const {
        QStringList out;
        for (const Shown& s : shown)
            if (s.kind == kind)
                out << s.text;
        return out;
    }
    void clear() { shown.clear(); answers.clear(); paths.clear(); }
};

// Installs a scripted prompter for the lifetime of the object.
class PrompterScope {
public:
    PrompterScope() { Prompter::install(&prompter); }
    ~PrompterScope() { Prompter::install(nullptr); }
    ScriptedPrompter prompter;
};

} // namespace vantor::test
