#pragma once
// The one exception the program handles: a failing record store operation. It carries the
// store's own error text, which is shown to the user as it is.
#include <QString>

class CDBException {
public:
    explicit CDBException(QString error) : m_strError(std::move(error)) {}
    QString m_strError;
};
