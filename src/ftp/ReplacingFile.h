#pragma once

#include <QFile>
#include <QString>

namespace vantor {

// A local file written in full before it replaces anything: the data goes to a hidden
// temporary file beside the target, which takes the target's place (one rename) only when
// commit() is called. Until then an existing target stays exactly as it was, and a
// temporary file not committed is removed by the destructor.
//
// Unlike QSaveFile it does not force the data to disk before the rename; that wait costs
// as long as writing the whole file again and no other tool an engineer uses does it.
class ReplacingFile {
public:
    explicit ReplacingFile(QString target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file; false with errorString() when it cannot be created.
    bool open();
    QIODevice& device() { return m_file; }
    // Replaces the target with what was written; false with errorString() on failure,
    // in which case the target is unchanged and the temporary file removed.
    bool commit();
    QString errorString() const { return m_error; }

private:
    QString m_target;
    QFile m_file;
    QString m_error;
    bool m_committed = false;
};

} // namespace vantor
