#pragma once

#include <QString>
#include <QByteArray>
#include <exception>

namespace vantor {

// The program's base exception: every failure that ends a user action carries the
// text the engineer sees in the general error box.
class Error : public std::exception {
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A local file or folder operation failed (open, create, read, write, change folder).
class FileError : public Error {
public:
    using Error::Error;
};

} // namespace vantor
