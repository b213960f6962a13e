// Texts between the program (bytes in the local 8-bit encoding) and Qt.
#pragma once

#include <QString>

#include <string>

inline QString toQString(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toStdString(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
