#include "OfficeDocument.h"
#include "OfficeDocument_p.h"

#include "OfficeAutomationError.h"
#include "OfficeSession_p.h"
#include "OfficeUno_p.h"

#include <QFileInfo>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/view/XRenderable.hpp>

using namespace css;
using OfficeUno::fileUrl;
using OfficeUno::properties;
using OfficeUno::property;
using OfficeUno::toOUString;

namespace {

// The office session that can still serve the document, or none.
std::shared_ptr<OfficeSessionPrivate> servingSession(const std::weak_ptr<OfficeSessionPrivate>& weak,
                                                     const OfficeDocumentPrivate& document)
{
    std::shared_ptr<OfficeSessionPrivate> session = weak.lock();
    if (!session || !document.component.is())
        return nullptr;
    if (!session->serves(document.generation)) {
        session->fail(QStringLiteral("The office process that loaded the document has ended"));
        return nullptr;
    }
    return session;
}

// Printed pages, the same count the PDF export works with.
sal_Int32 printedPages(const uno::Reference<lang::XComponent>& component)
{
    const uno::Reference<view::XRenderable> renderable(component, uno::UNO_QUERY_THROW);
    return renderable->getRendererCount(uno::Any(component),
                                        uno::Sequence<beans::PropertyValue>());
}

uno::Reference<container::XIndexAccess> drawPages(const uno::Reference<lang::XComponent>& component)
{
    const uno::Reference<drawing::XDrawPagesSupplier> supplier(component, uno::UNO_QUERY);
    if (!supplier.is())
        return {};
    return uno::Reference<container::XIndexAccess>(supplier->getDrawPages(), uno::UNO_QUERY);
}

} // namespace

OfficeDocument::OfficeDocument(std::weak_ptr<OfficeSessionPrivate> session,
                               std::shared_ptr<OfficeDocumentPrivate> document)
    : session(std::move(session))
    , d(std::move(document))
{
}

OfficeDocument::~OfficeDocument()
{
    close();
}

OfficeDocument::Kind OfficeDocument::kind() const
{
    return d->kind;
}

bool OfficeDocument::isOpen() const
{
    return d->component.is();
}

int OfficeDocument::pageCount()
{
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return -1;
    try {
        return office->call<int>(QStringLiteral("Counting pages"),
                                 [component = d->component] { return printedPages(component); });
    } catch (const OfficeAutomationError&) {
        return -1;
    }
}

bool OfficeDocument::exportPdf(const QString& pdfPath, int firstPage, int lastPage)
{
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return false;
    const QString filter = d->pdfFilter;
    if (filter.isEmpty()) {
        office->fail(QStringLiteral("This kind of document has no PDF export"));
        return false;
    }
    firstPage = qMax(1, firstPage);
    if (firstPage > lastPage) {
        office->fail(QStringLiteral("Empty page range %1-%2").arg(firstPage).arg(lastPage));
        return false;
    }
    const rtl::OUString url = fileUrl(pdfPath);
    int exported = 0;
    try {
        exported = office->call<int>(
            QStringLiteral("Exporting %1 as PDF").arg(pdfPath),
            [component = d->component, url, filter, firstPage, lastPage] {
                // A page range beyond the last page makes the export fail as a whole.
                const sal_Int32 pages = printedPages(component);
                if (firstPage > pages)
                    return 0;
                const int last = qMin(lastPage, int(pages));
                const QString range = QStringLiteral("%1-%2").arg(firstPage).arg(last);
                const uno::Reference<frame::XStorable> storable(component, uno::UNO_QUERY_THROW);
                storable->storeToURL(
                    url, properties({
                             property(QStringLiteral("FilterName"), uno::Any(toOUString(filter))),
                             property(QStringLiteral("Overwrite"), uno::Any(true)),
                             property(QStringLiteral("FilterData"),
                                      uno::Any(properties({property(QStringLiteral("PageRange"),
                                                                    uno::Any(toOUString(range)))}))),
                         }));
                return last - firstPage + 1;
            });
    } catch (const OfficeAutomationError&) {
        return false;
    }
    if (exported == 0) {
        office->fail(QStringLiteral("Page %1 is past the document's last page").arg(firstPage));
        return false;
    }
    return QFileInfo(pdfPath).isFile();
}

bool OfficeDocument::ignorePrintAreas()
{
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return false;
    if (d->kind != Kind::Spreadsheet) {
        office->fail(QStringLiteral("Only spreadsheets have print areas"));
        return false;
    }
    try {
        office->run(QStringLiteral("Clearing print areas"), [component = d->component] {
            const uno::Reference<sheet::XSpreadsheetDocument> document(component,
                                                                      uno::UNO_QUERY_THROW);
            const uno::Reference<container::XIndexAccess> sheets(document->getSheets(),
                                                                 uno::UNO_QUERY_THROW);
            // A sheet without print areas prints whole.
            for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
                const uno::Reference<sheet::XPrintAreas> areas(sheets->getByIndex(i),
                                                               uno::UNO_QUERY_THROW);
                areas->setPrintAreas(uno::Sequence<table::CellRangeAddress>());
            }
        });
    } catch (const OfficeAutomationError&) {
        return false;
    }
    return true;
}

int OfficeDocument::slideCount()
{
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return 0;
    if (d->kind != Kind::Presentation && d->kind != Kind::Drawing)
        return 0;
    try {
        return office->call<int>(QStringLiteral("Counting slides"), [component = d->component] {
            const uno::Reference<container::XIndexAccess> pages = drawPages(component);
            return pages.is() ? int(pages->getCount()) : 0;
        });
    } catch (const OfficeAutomationError&) {
        return 0;
    }
}

bool OfficeDocument::exportSlide(int slideNumber, const QString& imagePath,
                                 const QString& mediaType, int width, int height)
{
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return false;
    // Other formats ignore the pixel size.
    if (mediaType != QLatin1String("image/png") && mediaType != QLatin1String("image/jpeg")) {
        office->fail(QStringLiteral("Unsupported slide image type ") + mediaType);
        return false;
    }
    if (slideNumber < 1 || width < 1 || height < 1) {
        office->fail(QStringLiteral("Invalid slide %1 or size %2x%3")
                         .arg(slideNumber).arg(width).arg(height));
        return false;
    }
    const rtl::OUString url = fileUrl(imagePath);
    bool exported = false;
    try {
        exported = office->call<bool>(
            QStringLiteral("Exporting slide %1 to %2").arg(slideNumber).arg(imagePath),
            [component = d->component, context = office->remoteContext, url, mediaType,
             slideNumber, width, height] {
                const uno::Reference<container::XIndexAccess> pages = drawPages(component);
                if (!pages.is() || slideNumber > pages->getCount())
                    return false;
                const uno::Reference<lang::XComponent> slide(pages->getByIndex(slideNumber - 1),
                                                             uno::UNO_QUERY_THROW);
                const uno::Reference<drawing::XGraphicExportFilter> filter
                    = drawing::GraphicExportFilter::create(context);
                filter->setSourceDocument(slide);
                const auto size = properties({
                    property(QStringLiteral("PixelWidth"), uno::Any(sal_Int32(width))),
                    property(QStringLiteral("PixelHeight"), uno::Any(sal_Int32(height))),
                });
                return bool(filter->filter(properties({
                    property(QStringLiteral("URL"), uno::Any(url)),
                    property(QStringLiteral("MediaType"), uno::Any(toOUString(mediaType))),
                    property(QStringLiteral("FilterData"), uno::Any(size)),
                })));
            });
    } catch (const OfficeAutomationError&) {
        return false;
    }
    if (!exported) {
        office->fail(QStringLiteral("Slide %1 was not exported").arg(slideNumber));
        return false;
    }
    return QFileInfo(imagePath).isFile();
}

bool OfficeDocument::saveCopy(const QString& path, const QString& filterName,
                              const QString& password)
{
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return false;
    const rtl::OUString url = fileUrl(path);
    try {
        office->run(QStringLiteral("Storing %1").arg(path),
                    [component = d->component, url, filterName, password] {
                        auto arguments = properties({
                            property(QStringLiteral("FilterName"),
                                     uno::Any(toOUString(filterName))),
                            property(QStringLiteral("Overwrite"), uno::Any(true)),
                        });
                        if (!password.isEmpty()) {
                            arguments.realloc(arguments.getLength() + 1);
                            arguments[arguments.getLength() - 1]
                                = property(QStringLiteral("Password"),
                                           uno::Any(toOUString(password)));
                        }
                        const uno::Reference<frame::XStorable> storable(component,
                                                                        uno::UNO_QUERY_THROW);
                        storable->storeToURL(url, arguments);
                    });
    } catch (const OfficeAutomationError&) {
        return false;
    }
    return QFileInfo(path).isFile();
}

void OfficeDocument::close()
{
    d->close(session);
}

void OfficeDocumentPrivate::close(const std::weak_ptr<OfficeSessionPrivate>& session)
{
    if (!component.is())
        return;
    if (const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *this)) {
        try {
            office->run(QStringLiteral("Closing a document"), [component = component] {
                const uno::Reference<util::XCloseable> closeable(component, uno::UNO_QUERY);
                if (!closeable.is()) {
                    component->dispose();
                    return;
                }
                try {
                    closeable->close(true);
                } catch (const util::CloseVetoException&) {
                    // Whoever vetoed now owns the document and closes it.
                }
            });
        } catch (const OfficeAutomationError&) {
            // A document the office cannot close goes with the office process.
        }
    }
    component.clear();
}
