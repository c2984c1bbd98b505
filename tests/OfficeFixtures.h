#pragma once

// Office documents written as flat ODF at test time and converted by the office, and the
// office's process groups.
#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeSession.h"

#include <QDir>
#include <QHash>

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
        body += QStringLiteral("<text:p text:style-name=\"%1\">%2</text:p>").arg(page == 1 ? "First" : "Next").arg(page);
    return flatDocument("text", QStringLiteral("<office:automatic-styles>"
        "<style:style style:name=\"First\" style:family=\"paragraph\"><style:text-properties fo:font-size=\"200pt\"/></style:style>"
        "<style:style style:name=\"Next\" style:family=\"paragraph\"><style:paragraph-properties fo:break-before=\"page\"/>"
        "<style:text-properties fo:font-size=\"200pt\"/></style:style></office:automatic-styles>"), body);
}

// Sheets "One" and "Two" print one page each. The third sheet holds 3 on its first page and
// 4 far below; its print area covers only the 3, so it prints one page with print areas and
// two without.
inline QString spreadsheet()
{
    const auto row = [](int n) { return QStringLiteral("<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"%1\"><text:p>%1</text:p></table:table-cell></table:table-row>").arg(n); };
    const auto sheet = [](const char* name, const char* attributes, const QString& rows) {
        return QStringLiteral("<table:table table:name=\"%1\" %2><table:table-column/>%3</table:table>").arg(QLatin1String(name), QLatin1String(attributes), rows);
    };
    return flatDocument("spreadsheet", QString(), sheet("One", "", row(1)) + sheet("Two", "", row(2))
        + sheet("Three", "table:print-ranges=\"Three.A1:Three.A1\"", row(3) + QStringLiteral("<table:table-row table:number-rows-repeated=\"298\"><table:table-cell/></table:table-row>") + row(4)));
}

// Three slides, each showing its number in large type.
inline QString presentation()
{
    QString slides;
    for (int slide = 1; slide <= 3; ++slide)
        slides += QStringLiteral("<draw:page draw:name=\"Slide %1\" draw:master-page-name=\"Master\"><draw:frame svg:x=\"2cm\" svg:y=\"2cm\" "
            "svg:width=\"24cm\" svg:height=\"14cm\"><draw:text-box><text:p><text:span text:style-name=\"Big\">%1</text:span></text:p>"
            "</draw:text-box></draw:frame></draw:page>").arg(slide);
    return flatDocument("presentation", QStringLiteral("<office:automatic-styles><style:page-layout style:name=\"Layout\">"
        "<style:page-layout-properties fo:page-width=\"28cm\" fo:page-height=\"21cm\" fo:margin-top=\"0cm\" fo:margin-bottom=\"0cm\" "
        "fo:margin-left=\"0cm\" fo:margin-right=\"0cm\"/></style:page-layout><style:style style:name=\"Big\" style:family=\"text\">"
        "<style:text-properties fo:font-size=\"200pt\"/></style:style></office:automatic-styles><office:master-styles>"
        "<style:master-page style:name=\"Master\" style:page-layout-name=\"Layout\"/></office:master-styles>"), slides);
}

inline bool writeFile(const QString& path, const QString& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents.toUtf8()) > 0;
}

// Stores source as target in the format of its extension, encrypted when a password is given.
inline bool convert(OfficeSession& session, const QString& source, const QString& target, const QString& password = QString())
{
    static const QHash<QString, QString> filters{{"docx", "MS Word 2007 XML"}, {"doc", "MS Word 97"}, {"odt", "writer8"},
                                                 {"xlsx", "Calc MS Excel 2007 XML"}, {"pptx", "Impress MS PowerPoint 2007 XML"}};
    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(session);
    try {
        return application && application->documents().open(source)->saveCopy(target, filters.value(QFileInfo(target).suffix()), password).ok();
    } catch (const OfficeAutomationError&) {
        return false;
    }
}

// In dir: doc.docx, doc.doc and "Q3.report #1.docx" of five pages, locked.odt (password
// "secret"), book.xlsx (see spreadsheet()) and deck.pptx of three slides.
inline bool writeAll(OfficeSession& session, const QDir& dir)
{
    const auto path = [&dir](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
    return writeFile(path("doc.fodt"), textDocument()) && writeFile(path("book.fods"), spreadsheet())
        && writeFile(path("deck.fodp"), presentation()) && convert(session, path("doc.fodt"), path("doc.docx"))
        && convert(session, path("doc.fodt"), path("doc.doc")) && convert(session, path("doc.fodt"), path("Q3.report #1.docx"))
        && convert(session, path("doc.fodt"), path("locked.odt"), QStringLiteral("secret"))
        && convert(session, path("book.fods"), path("book.xlsx")) && convert(session, path("deck.fodp"), path("deck.pptx"));
}

} // namespace OfficeFixtures

// Live members of a process group. Zombies do not count: in a container whose first process
// does not reap orphans they linger after the office has ended.
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

inline bool groupAlive(qint64 group)
{
    return !groupMembers(group).isEmpty();
}
