#pragma once

// Office documents written as flat ODF at test time and converted by the office, and the
// office's process groups.
#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeSession.h"
#include "TestSupport.h"

#include <QDir>

namespace OfficeFixtures {

inline QString flatDocument(const char* type, const QString& styles, const QString& body)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
        "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" office:version=\"1.3\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.%1\">%2<office:body><office:%1>%3</office:%1></office:body></office:document>\n")
        .arg(QLatin1String(type), styles, body);
}

// Five pages, each showing its number in large type.
inline QString textDocument()
{
    QString body;
    for (int page = 1; page <= 5; ++page)
        body += QStringLiteral("<text:p text:style-name=\"Page\">%1</text:p>").arg(page);
    return flatDocument("text", QStringLiteral("<office:automatic-styles><style:style style:name=\"Page\" style:family=\"paragraph\">"
        "<style:paragraph-properties fo:break-before=\"page\"/><style:text-properties fo:font-size=\"200pt\"/></style:style>"
        "</office:automatic-styles>"), body);
}

// Sheets "One" and "Two" print one page each; the third holds 3 on its first page and 4 far
// below, and prints only the 3 while its print area (the 3) is honoured.
inline QString spreadsheet()
{
    const auto row = [](int n) { return QStringLiteral("<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"%1\"><text:p>%1</text:p></table:table-cell></table:table-row>").arg(n); };
    const auto sheet = [](const char* name, const char* attributes, const QString& rows) {
        return QStringLiteral("<table:table table:name=\"%1\" %2><table:table-column/>%3</table:table>").arg(QLatin1String(name), QLatin1String(attributes), rows);
    };
    return flatDocument("spreadsheet", QString(), sheet("One", "", row(1)) + sheet("Two", "", row(2))
        + sheet("Three", "table:print-ranges=\"Three.A1:Three.A1\"", row(3) + QStringLiteral("<table:table-row table:number-rows-repeated=\"298\"><table:table-cell/></table:table-row>") + row(4)));
}

// Three blank portrait slides, 10 cm x 20 cm.
inline QString presentation()
{
    return flatDocument("presentation", QStringLiteral("<office:styles/><office:automatic-styles><style:page-layout style:name=\"Portrait\"><style:page-layout-properties "
        "fo:page-width=\"10cm\" fo:page-height=\"20cm\"/></style:page-layout></office:automatic-styles>"
        "<office:master-styles><style:master-page style:name=\"Master\" style:page-layout-name=\"Portrait\"/></office:master-styles>"),
                        QStringLiteral("<draw:page draw:master-page-name=\"Master\"/>").repeated(3));
}

// In dir: doc.docx and "Q3.report #1.docx" of five pages, locked.odt (password "secret"),
// book.xlsx (see spreadsheet()) and deck.pptx of three slides, converted by the office.
inline bool writeAll(OfficeSession& session, const QDir& dir)
{
    const auto path = [&dir](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
    const std::unique_ptr<OfficeApplication> application = OfficeApplication::attach(session);
    const auto convert = [&](const char* source, const char* target, const char* filter, const QString& password = QString()) {
        try {
            return application->documents().open(path(source))->saveCopy(path(target), QLatin1String(filter), password).ok();
        } catch (const OfficeAutomationError&) {
            return false;
        }
    };
    return application && !writeFile(path("doc.fodt"), textDocument().toUtf8()).isEmpty() && !writeFile(path("book.fods"), spreadsheet().toUtf8()).isEmpty()
        && !writeFile(path("deck.fodp"), presentation().toUtf8()).isEmpty() && convert("doc.fodt", "doc.docx", "MS Word 2007 XML")
        && convert("doc.fodt", "Q3.report #1.docx", "MS Word 2007 XML") && convert("doc.fodt", "locked.odt", "writer8", QStringLiteral("secret"))
        && convert("book.fods", "book.xlsx", "Calc MS Excel 2007 XML") && convert("deck.fodp", "deck.pptx", "Impress MS PowerPoint 2007 XML");
}

} // namespace OfficeFixtures

// Live members of a process group: zombies linger in a container that reaps no orphans.
inline QList<qint64> groupMembers(qint64 group)
{
    QList<qint64> members;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        // "pid (comm) state ppid pgrp ...": comm may hold blanks and parentheses.
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (group > 0 && fields.size() > 2 && fields.at(2).toLongLong() == group && fields.at(0) != "Z")
            members << entry.toLongLong();
    }
    return members;
}
