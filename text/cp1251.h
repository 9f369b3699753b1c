#pragma once

#include <QByteArray>
#include <QString>

namespace olv::text {

// The instrument's text and the settings files store characters as Windows-1251 bytes.
// A character with no Windows-1251 byte becomes '?'.
QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);

} // namespace olv::text
