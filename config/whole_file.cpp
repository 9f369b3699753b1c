#include "config/whole_file.h"

#include "files/plain_file.h"

#include <cerrno>
#include <cstring>

namespace olv::config {

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& reason) {
    if (files::WriteWholeFile(path, bytes.constData(), static_cast<size_t>(bytes.size())) ==
        files::WholeFileWrite::Written)
        return true;
    reason = errno == EINVAL ? QStringLiteral("это не обычный файл (папка, канал или устройство)")
                             : QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace olv::config
