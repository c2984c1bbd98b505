#pragma once

// Office documents written as flat ODF at test time; the office converts them further.
#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeSession.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QString>

namespace OfficeFixtures {

inline const char* const Namespaces
    = R"(xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
      R"(xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" )"
      R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" )"
      R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" )"
      R"(xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" )"
      R"(xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" )"
      R"(xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0")";

inline QString flatDocument(const char* mimeType, const QString& styles, const QString& body)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<office:document %1 office:version=\"1.3\" "
                          "office:mimetype=\"application/vnd.oasis.opendocument.%2\">%3"
                          "<office:body>%4</office:body></office:document>\n")
        .arg(QLatin1String(Namespaces), QLatin1String(mimeType), styles, body);
}

// Five pages, each showing its number in large type.
inline QString textDocument()
{
    QString paragraphs;
    for (int page = 1; page <= 5; ++page)
        paragraphs += QStringLiteral("<text:p text:style-name=\"%1\">%2</text:p>")
                          .arg(page == 1 ? QStringLiteral("First") : QStringLiteral("Next"))
                          .arg(page);
    const QString styles = QStringLiteral(
        "<office:automatic-styles>"
        "<style:style style:name=\"First\" style:family=\"paragraph\">"
        "<style:text-properties fo:font-size=\"200pt\"/></style:style>"
        "<style:style style:name=\"Next\" style:family=\"paragraph\">"
        "<style:paragraph-properties fo:break-before=\"page\"/>"
        "<style:text-properties fo:font-size=\"200pt\"/></style:style>"
        "</office:automatic-styles>");
    return flatDocument("text", styles,
                        QStringLiteral("<office:text>") + paragraphs
                            + QStringLiteral("</office:text>"));
}

inline QString numberRow(int number)
{
    return QStringLiteral("<table:table-row><table:table-cell office:value-type=\"float\" "
                          "office:value=\"%1\"><text:p>%1</text:p></table:table-cell>"
                          "</table:table-row>")
        .arg(number);
}

// Sheets "1" and "2" print one page each. The third sheet holds 3 on its first page and 4
// far below; its print area covers only the 3, so it prints one page with print areas and
// two without.
inline QString spreadsheet()
{
    const QString body = QStringLiteral("<office:spreadsheet>")
        + QStringLiteral("<table:table table:name=\"One\"><table:table-column/>") + numberRow(1)
        + QStringLiteral("</table:table>")
        + QStringLiteral("<table:table table:name=\"Two\"><table:table-column/>") + numberRow(2)
        + QStringLiteral("</table:table>")
        + QStringLiteral("<table:table table:name=\"Three\" "
                         "table:print-ranges=\"Three.A1:Three.A1\"><table:table-column/>")
        + numberRow(3)
        + QStringLiteral("<table:table-row table:number-rows-repeated=\"298\">"
                         "<table:table-cell/></table:table-row>")
        + numberRow(4) + QStringLiteral("</table:table></office:spreadsheet>");
    return flatDocument("spreadsheet", QString(), body);
}

// Three slides, each showing its number in large type.
inline QString presentation()
{
    const QString styles = QStringLiteral(
        "<office:automatic-styles>"
        "<style:page-layout style:name=\"Layout\"><style:page-layout-properties "
        "fo:page-width=\"28cm\" fo:page-height=\"21cm\" fo:margin-top=\"0cm\" "
        "fo:margin-bottom=\"0cm\" fo:margin-left=\"0cm\" fo:margin-right=\"0cm\"/>"
        "</style:page-layout>"
        "<style:style style:name=\"Big\" style:family=\"text\">"
        "<style:text-properties fo:font-size=\"200pt\"/></style:style>"
        "</office:automatic-styles>"
        "<office:master-styles><style:master-page style:name=\"Master\" "
        "style:page-layout-name=\"Layout\"/></office:master-styles>");
    QString slides;
    for (int slide = 1; slide <= 3; ++slide)
        slides += QStringLiteral(
                      "<draw:page draw:name=\"Slide %1\" draw:master-page-name=\"Master\">"
                      "<draw:frame svg:x=\"2cm\" svg:y=\"2cm\" svg:width=\"24cm\" "
                      "svg:height=\"14cm\"><draw:text-box><text:p><text:span "
                      "text:style-name=\"Big\">%1</text:span></text:p></draw:text-box>"
                      "</draw:frame></draw:page>")
                      .arg(slide);
    return flatDocument("presentation", styles,
                        QStringLiteral("<office:presentation>") + slides
                            + QStringLiteral("</office:presentation>"));
}

inline bool writeFile(const QString& path, const QString& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents.toUtf8()) > 0;
}

// Stores source as target in the format of its extension, encrypted when a password is given.
inline bool convert(OfficeSession& session, const QString& source, const QString& target,
                    const QString& password = QString())
{
    static const QHash<QString, QString> filters{
        {"docx", "MS Word 2007 XML"}, {"doc", "MS Word 97"}, {"odt", "writer8"},
        {"xlsx", "Calc MS Excel 2007 XML"}, {"pptx", "Impress MS PowerPoint 2007 XML"}};
    const std::unique_ptr<OfficeApplication> application = OfficeApplication::start(session);
    try {
        return application && application->documents().open(source)->saveCopy(
                   target, filters.value(QFileInfo(target).suffix()), password).ok();
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
        && writeFile(path("deck.fodp"), presentation())
        && convert(session, path("doc.fodt"), path("doc.docx"))
        && convert(session, path("doc.fodt"), path("doc.doc"))
        && convert(session, path("doc.fodt"), path("Q3.report #1.docx"))
        && convert(session, path("doc.fodt"), path("locked.odt"), QStringLiteral("secret"))
        && convert(session, path("book.fods"), path("book.xlsx"))
        && convert(session, path("deck.fodp"), path("deck.pptx"));
}

} // namespace OfficeFixtures
