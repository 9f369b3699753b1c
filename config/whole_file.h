#pragma once

#include <QByteArray>
#include <QString>

namespace olv::config {

// Writes a whole new file (a record, a picture) all or nothing: the bytes go to a temporary file in the
// same folder, which is written completely and synced before it is renamed over the name; the folder
// is synced after. On any failure (a full disk, a file size limit, a folder that takes no new file, a
// name that is a folder or a device) nothing is left behind: no temporary file, and whatever was under
// the name stays as it was. False with the system's reason in words.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& reason);

} // namespace olv::config
