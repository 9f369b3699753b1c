#include "text/cp1251.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace olv::text {

QByteArray ToCp1251(const QString& text) {
    QStringEncoder encoder("windows-1251");
    QByteArray bytes = encoder(text);
    if (!encoder.hasError()) return bytes;

    // The encoder marks what it cannot map with its own substitute; encode one code point at a time so
    // that exactly those become '?'.
    bytes.clear();
    const QList<uint> codePoints = text.toUcs4();
    for (uint cp : codePoints) {
        QStringEncoder one("windows-1251");
        const QByteArray b = one(QString::fromUcs4(reinterpret_cast<const char32_t*>(&cp), 1));
        bytes += (one.hasError() || b.size() != 1) ? QByteArray("?") : b;
    }
    return bytes;
}

QString FromCp1251(const QByteArray& bytes) {
    QStringDecoder decoder("windows-1251");
    return decoder(bytes);
}

} // namespace olv::text
