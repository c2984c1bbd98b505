#include "OfficeDocuments.h"

#include "OfficeArea.h"
#include "OfficeAutomationError.h"
#include "OfficeDocument.h"
#include "OfficeDocument_p.h"
#include "OfficeSession.h"
#include "OfficeSession_p.h"
#include "OfficeUno_p.h"

#include <QFile>
#include <QFileInfo>

#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>

#include <algorithm>

using namespace css;
using OfficeUno::fileUrl;
using OfficeUno::properties;
using OfficeUno::property;
using OfficeUno::toOUString;

namespace {

struct Identity
{
    OfficeDocument::Kind kind = OfficeDocument::Kind::Other;
    QString pdfFilter;
};

Identity identify(const uno::Reference<lang::XComponent>& component)
{
    const uno::Reference<lang::XServiceInfo> info(component, uno::UNO_QUERY);
    if (!info.is())
        return {};
    const auto supports = [&info](const char* service) {
        return info->supportsService(rtl::OUString::createFromAscii(service));
    };
    using Kind = OfficeDocument::Kind;
    // Web and master documents are text documents with PDF filters of their own.
    if (supports("com.sun.star.text.WebDocument"))
        return {Kind::Text, QStringLiteral("writer_web_pdf_Export")};
    if (supports("com.sun.star.text.GlobalDocument"))
        return {Kind::Text, QStringLiteral("writer_globaldocument_pdf_Export")};
    if (supports("com.sun.star.text.TextDocument"))
        return {Kind::Text, QStringLiteral("writer_pdf_Export")};
    if (supports("com.sun.star.sheet.SpreadsheetDocument"))
        return {Kind::Spreadsheet, QStringLiteral("calc_pdf_Export")};
    if (supports("com.sun.star.presentation.PresentationDocument"))
        return {Kind::Presentation, QStringLiteral("impress_pdf_Export")};
    if (supports("com.sun.star.drawing.DrawingDocument"))
        return {Kind::Drawing, QStringLiteral("draw_pdf_Export")};
    return {};
}

// The import filter the office chose for the document.
QString filterName(const uno::Reference<lang::XComponent>& component)
{
    const uno::Reference<frame::XModel> model(component, uno::UNO_QUERY);
    if (!model.is())
        return QString();
    const uno::Sequence<beans::PropertyValue> arguments = model->getArgs();
    for (const beans::PropertyValue& argument : arguments) {
        rtl::OUString name;
        if (argument.Name == "FilterName" && (argument.Value >>= name))
            return OfficeUno::toQString(name);
    }
    return QString();
}

// Any file at all opens with a plain-text import ("Text", "Text (encoded)",
// "Text - txt - csv (StarCalc)", ...), which makes no document of a file that is none.
bool isPlainTextImport(const QString& filter)
{
    return filter.startsWith(QLatin1String("Text"));
}

} // namespace

OfficeDocuments::OfficeDocuments(OfficeSession& session)
    : session(session.d)
{
}

OfficeDocuments::~OfficeDocuments() = default;

std::unique_ptr<OfficeDocument> OfficeDocuments::open(const QString& path,
                                                      std::optional<OfficeDocument::Kind> family)
{
    const std::shared_ptr<OfficeSessionPrivate> office = session.lock();
    if (!office)
        throw OfficeAutomationError(OfficeAutomationError::Cause::OfficeUnavailable,
                                    QStringLiteral("The office session has ended"));
    if (!QFileInfo(path).isFile())
        throw OfficeAutomationError(OfficeAutomationError::Cause::NotFound,
                                    QStringLiteral("No such file: ") + path);
    const OfficeResult<bool> running = office->ensureRunning();
    if (!running.ok())
        throw OfficeAutomationError(OfficeAutomationError::Cause::OfficeUnavailable,
                                    QStringLiteral("The office is not running: ") + running.error);

    // The office loads a file whose name is not valid UTF-8 but cannot store from it: it goes
    // back to the name in UTF-8. Such a file is opened through a link with a plain name.
    std::unique_ptr<QTemporaryDir> linkFolder;
    QString loadPath = path;
    if (!OfficeUno::hasUtf8Name(path)) {
        linkFolder = std::make_unique<QTemporaryDir>(OfficeArea::areaTemplate());
        const QString suffix = QFileInfo(path).suffix();
        loadPath = linkFolder->filePath(QStringLiteral("document.")
                                        + (OfficeUno::hasUtf8Name(suffix) ? suffix : QString()));
        if (!linkFolder->isValid() || !QFile::link(QFileInfo(path).absoluteFilePath(), loadPath))
            throw OfficeAutomationError(OfficeAutomationError::Cause::NoDocument,
                                        QStringLiteral("Cannot link to ") + path);
    }
    const rtl::OUString url = fileUrl(loadPath);
    struct Loaded
    {
        uno::Reference<lang::XComponent> component;
        Identity identity;
        QString filter;
    };
    const OfficeResult<Loaded> result =
        office->call<Loaded>(QStringLiteral("Opening ") + path, [desktop = office->desktop, url] {
            // Without an interaction handler nothing can prompt: a password-protected file
            // simply yields no document.
            Loaded result;
            result.component = desktop->loadComponentFromURL(
                url, rtl::OUString("_blank"), 0,
                properties({
                    property(QStringLiteral("Hidden"), uno::Any(true)),
                    property(QStringLiteral("ReadOnly"), uno::Any(true)),
                    property(QStringLiteral("MacroExecutionMode"),
                             uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
                    property(QStringLiteral("UpdateDocMode"),
                             uno::Any(document::UpdateDocMode::NO_UPDATE)),
                }));
            if (result.component.is()) {
                result.identity = identify(result.component);
                result.filter = filterName(result.component);
            }
            return result;
        });
    if (!result.ok())
        throw OfficeAutomationError(OfficeAutomationError::Cause::NoDocument, result.error);
    const Loaded& loaded = result.value;
    if (!loaded.component.is())
        throw OfficeAutomationError(OfficeAutomationError::Cause::NoDocument,
                                    QStringLiteral("The office gave no document for ") + path);
    const auto document = std::make_shared<OfficeDocumentPrivate>();
    document->component = loaded.component;
    document->kind = loaded.identity.kind;
    document->pdfFilter = loaded.identity.pdfFilter;
    document->generation = office->generation;
    document->linkFolder = std::move(linkFolder);
    ++office->documentsLoaded;
    if (family && (document->kind != *family || isPlainTextImport(loaded.filter))) {
        document->close(session);
        throw OfficeAutomationError(OfficeAutomationError::Cause::WrongFamily,
                                    path
                                        + QStringLiteral(" is not a document of its family "
                                                         "(read with the filter \"%1\")")
                                              .arg(loaded.filter));
    }

    opened.erase(std::remove_if(opened.begin(), opened.end(),
                                [](const std::weak_ptr<OfficeDocumentPrivate>& entry) {
                                    return entry.expired();
                                }),
                 opened.end());
    opened.push_back(document);
    return std::unique_ptr<OfficeDocument>(new OfficeDocument(session, document));
}

void OfficeDocuments::closeAll()
{
    for (const std::weak_ptr<OfficeDocumentPrivate>& entry : opened) {
        if (const std::shared_ptr<OfficeDocumentPrivate> document = entry.lock())
            document->close(session);
    }
    opened.clear();
}
