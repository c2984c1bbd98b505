#pragma once

#include <QString>

// Names shared by the engine, the producers and the window.
namespace Names {

inline const QString Product = QStringLiteral("Miravel");
inline const QString Maker = QStringLiteral("Tessarine");
// pdftopng, relative to the application's folder.
inline const QString Pdf2PngTool = QStringLiteral("pdf2png/pdftopng");

// Words of the output name template; the window's token buttons insert them in brackets.
namespace Token {
inline const QString Date = QStringLiteral("DATE");
inline const QString Name = QStringLiteral("NAME");
inline const QString Page = QStringLiteral("PAGE");
inline const QString Time = QStringLiteral("TIME");
inline const QString CreatedTime = QStringLiteral("CTIME");
inline const QString CreatedDate = QStringLiteral("CDATE");
inline const QString ModifiedTime = QStringLiteral("MTIME");
inline const QString ModifiedDate = QStringLiteral("MDATE");
inline const QString Folder = QStringLiteral("FOLDER");
inline const QString FileSize = QStringLiteral("FILESIZE");
} // namespace Token

} // namespace Names
