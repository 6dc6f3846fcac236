// File names between Qt's strings and the bytes the system knows them by. Qt decodes a name
// that is not valid UTF-8 into U+FFFD replacement characters and cannot encode it back, so a
// file called "m\xFFx.map" would be looked for as "m\xEF\xBF\xBDx.map". LocalPath finds the
// real bytes again.
#pragma once

#include <QString>
#include <string>

namespace tervik::platform {

// The bytes of `path` for the system's calls: QFile::encodeName, except that a component with
// replacement characters is matched against the entries of its folder; the one entry whose
// decoded name equals it gives its bytes (two such entries: none is guessed).
std::string LocalPath(const QString& path);

// `path` as Qt shows and takes it (QFile::decodeName).
QString DisplayPath(const std::string& path);

}  // namespace tervik::platform
