#pragma once

#include "support/Prompter.h"

class QWidget;

namespace vantor {

// The prompter of the running program: modal Qt message boxes and file dialogs.
class QtPrompter final : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void warning(const QString& text) override;
    void error(const QString& text) override;
    bool confirmYesNo(const QString& text) override;
    bool confirmOkCancel(const QString& text) override;
    QString openFile(const QString& caption, const QString& folder, const QString& filter) override;
    QString saveFile(const QString& caption, const QString& folder, const QString& filter,
                     const QString& defaultSuffix) override;
    QString chooseFolder(const QString& caption, const QString& folder) override;

private:
    QWidget* owner() const;

    QWidget* m_parent;
};

} // namespace vantor
