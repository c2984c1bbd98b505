#include "job/FileFamilies.h"

QStringList FileFamilies::suffixes(qint32 family)
{
    switch (family) {
    case Word:
        return {QStringLiteral("doc"), QStringLiteral("docx"), QStringLiteral("rtf"),
                QStringLiteral("odt")};
    case Excel:
        return {QStringLiteral("xls"), QStringLiteral("xlsx"), QStringLiteral("xlsm"),
                QStringLiteral("ods")};
    case PowerPoint:
        return {QStringLiteral("ppt"), QStringLiteral("pptx")};
    case Text:
        return {QStringLiteral("txt"), QStringLiteral("xml"), QStringLiteral("log"),
                QStringLiteral("ans"), QStringLiteral("asc"), QStringLiteral("csv"),
                QStringLiteral("nfo"), QStringLiteral("1st"), QStringLiteral("bat"),
                QStringLiteral("info")};
    case Pdf:
        return {QStringLiteral("pdf")};
    case Picture:
        return {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("jpe"),
                QStringLiteral("jif"), QStringLiteral("jfif"), QStringLiteral("jfi"),
                QStringLiteral("png"), QStringLiteral("ppm"),  QStringLiteral("pgm"),
                QStringLiteral("pbm"), QStringLiteral("pnm"),  QStringLiteral("tiff"),
                QStringLiteral("tif"), QStringLiteral("gif"),  QStringLiteral("bmp"),
                QStringLiteral("dib"), QStringLiteral("xbm"),  QStringLiteral("xpm")};
    default:
        return {};
    }
}

QSet<QString> FileFamilies::suffixSet(qint32 family)
{
    const QStringList list = suffixes(family);
    return QSet<QString>(list.cbegin(), list.cend());
}
