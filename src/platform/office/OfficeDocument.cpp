#include "OfficeDocument.h"
#include "OfficeDocument_p.h"

#include "OfficeSession_p.h"
#include "OfficeUno_p.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/view/XRenderable.hpp>

#include <cstdio>

using namespace css;
using OfficeUno::fileUrl;
using OfficeUno::properties;
using OfficeUno::property;
using OfficeUno::toOUString;

namespace {

const char NotServed[] = "The document is closed or the office process that loaded it has ended";

// The office session that can still serve the document, or none.
std::shared_ptr<OfficeSessionPrivate>
servingSession(const std::weak_ptr<OfficeSessionPrivate>& weak,
               const OfficeDocumentPrivate& document)
{
    std::shared_ptr<OfficeSessionPrivate> session = weak.lock();
    if (!session || !document.component.is() || !session->serves(document.generation))
        return nullptr;
    return session;
}

uno::Reference<container::XIndexAccess> drawPages(const uno::Reference<lang::XComponent>& component)
{
    const uno::Reference<drawing::XDrawPagesSupplier> supplier(component, uno::UNO_QUERY);
    if (!supplier.is())
        return {};
    return uno::Reference<container::XIndexAccess>(supplier->getDrawPages(), uno::UNO_QUERY);
}

// A sheet without print areas prints whole. Every sheet is cleared: clearing only the
// sheets that report areas prints fewer pages.
void clearPrintAreas(const uno::Reference<lang::XComponent>& component)
{
    const uno::Reference<sheet::XSpreadsheetDocument> document(component, uno::UNO_QUERY_THROW);
    const uno::Reference<container::XIndexAccess> sheets(document->getSheets(),
                                                         uno::UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
        const uno::Reference<sheet::XPrintAreas> areas(sheets->getByIndex(i), uno::UNO_QUERY_THROW);
        areas->setPrintAreas(uno::Sequence<table::CellRangeAddress>());
    }
}

// Has `store` write under a free plain name beside `path`, then renames the file to `path`.
template<typename T, typename Store>
OfficeResult<T> storedUnderPlainName(const QString& path, Store store)
{
    QString plain;
    {
        QTemporaryFile reserved(QFileInfo(path).absolutePath()
                                + QStringLiteral("/miravel-export-XXXXXX"));
        if (!reserved.open())
            return OfficeResult<T>::failure(QStringLiteral("No free name beside ") + path);
        plain = reserved.fileName();
    }
    OfficeResult<T> result = store(plain);
    if (result.ok() && QFileInfo(plain).isFile()
        && std::rename(QFile::encodeName(plain).constData(), QFile::encodeName(path).constData())
            != 0)
        result = OfficeResult<T>::failure(QStringLiteral("Cannot rename ") + plain);
    QFile::remove(plain);
    return result;
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

OfficeResult<int> OfficeDocument::exportPdf(const QString& pdfPath, int firstPage, int lastPage,
                                            bool ignorePrintAreas)
{
    using Result = OfficeResult<int>;
    if (!OfficeUno::hasUtf8Name(pdfPath)) {
        return storedUnderPlainName<int>(pdfPath, [&](const QString& plain) {
            return exportPdf(plain, firstPage, lastPage, ignorePrintAreas);
        });
    }
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return Result::failure(QLatin1String(NotServed));
    const QString filter = d->pdfFilter;
    if (filter.isEmpty())
        return Result::failure(QStringLiteral("This kind of document has no PDF export"));
    if (ignorePrintAreas && d->kind != Kind::Spreadsheet)
        return Result::failure(QStringLiteral("Only spreadsheets have print areas"));
    firstPage = qMax(1, firstPage);
    const rtl::OUString url = fileUrl(pdfPath);
    const Result exported = office->call<int>(
        QStringLiteral("Exporting %1 as PDF").arg(pdfPath),
        [component = d->component, url, filter, firstPage, lastPage, ignorePrintAreas] {
            if (ignorePrintAreas)
                clearPrintAreas(component);
            // Printed pages, as the export counts them: a range beyond the last page makes
            // the export fail as a whole.
            const uno::Reference<view::XRenderable> renderable(component, uno::UNO_QUERY_THROW);
            const sal_Int32 pages = renderable->getRendererCount(
                uno::Any(component), uno::Sequence<beans::PropertyValue>());
            const int last = qMin(lastPage, int(pages));
            if (firstPage > last)
                return 0;
            const QString range = QStringLiteral("%1-%2").arg(firstPage).arg(last);
            const uno::Reference<frame::XStorable> storable(component, uno::UNO_QUERY_THROW);
            storable->storeToURL(
                url,
                properties({
                    property(QStringLiteral("FilterName"), uno::Any(toOUString(filter))),
                    property(QStringLiteral("Overwrite"), uno::Any(true)),
                    property(QStringLiteral("FilterData"),
                             uno::Any(properties({property(QStringLiteral("PageRange"),
                                                           uno::Any(toOUString(range)))}))),
                }));
            return last - firstPage + 1;
        });
    if (exported.ok() && exported.value > 0 && !QFileInfo(pdfPath).isFile())
        return Result::failure(QStringLiteral("The office wrote no file at ") + pdfPath);
    return exported;
}

OfficeResult<int> OfficeDocument::slideCount()
{
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return OfficeResult<int>::failure(QLatin1String(NotServed));
    if (d->kind != Kind::Presentation && d->kind != Kind::Drawing)
        return {0, QString()};
    return office->call<int>(QStringLiteral("Counting slides"), [component = d->component] {
        const uno::Reference<container::XIndexAccess> pages = drawPages(component);
        return pages.is() ? int(pages->getCount()) : 0;
    });
}

OfficeResult<QSize> OfficeDocument::slideSize(int slideNumber)
{
    using Result = OfficeResult<QSize>;
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return Result::failure(QLatin1String(NotServed));
    const Result size = office->call<QSize>(
        QStringLiteral("Measuring slide %1").arg(slideNumber),
        [component = d->component, slideNumber] {
            const uno::Reference<container::XIndexAccess> pages = drawPages(component);
            if (!pages.is() || slideNumber < 1 || slideNumber > pages->getCount())
                return QSize();
            const uno::Reference<beans::XPropertySet> slide(pages->getByIndex(slideNumber - 1),
                                                            uno::UNO_QUERY_THROW);
            sal_Int32 width = 0;
            sal_Int32 height = 0;
            slide->getPropertyValue("Width") >>= width;
            slide->getPropertyValue("Height") >>= height;
            return QSize(width, height);
        });
    if (size.ok() && size.value.isEmpty())
        return Result::failure(QStringLiteral("Slide %1 has no size").arg(slideNumber));
    return size;
}

OfficeResult<bool> OfficeDocument::exportSlide(int slideNumber, const QString& imagePath,
                                               const QString& mediaType, int width, int height)
{
    using Result = OfficeResult<bool>;
    if (!OfficeUno::hasUtf8Name(imagePath)) {
        return storedUnderPlainName<bool>(imagePath, [&](const QString& plain) {
            return exportSlide(slideNumber, plain, mediaType, width, height);
        });
    }
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return Result::failure(QLatin1String(NotServed));
    // Other formats ignore the pixel size.
    if (mediaType != QLatin1String("image/png") && mediaType != QLatin1String("image/jpeg"))
        return Result::failure(QStringLiteral("Unsupported slide image type ") + mediaType);
    if (slideNumber < 1 || width < 1 || height < 1)
        return Result::failure(QStringLiteral("Invalid slide %1 or size %2x%3")
                                   .arg(slideNumber)
                                   .arg(width)
                                   .arg(height));
    const rtl::OUString url = fileUrl(imagePath);
    const Result exported = office->call<bool>(
        QStringLiteral("Exporting slide %1 to %2").arg(slideNumber).arg(imagePath),
        [component = d->component, context = office->remoteContext, url, mediaType, slideNumber,
         width, height] {
            const uno::Reference<container::XIndexAccess> pages = drawPages(component);
            if (!pages.is() || slideNumber > pages->getCount())
                return false;
            const uno::Reference<lang::XComponent> slide(pages->getByIndex(slideNumber - 1),
                                                         uno::UNO_QUERY_THROW);
            const uno::Reference<drawing::XGraphicExportFilter> filter =
                drawing::GraphicExportFilter::create(context);
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
    if (exported.ok() && (!exported.value || !QFileInfo(imagePath).isFile()))
        return Result::failure(QStringLiteral("Slide %1 was not exported").arg(slideNumber));
    return exported;
}

OfficeResult<bool> OfficeDocument::saveCopy(const QString& path, const QString& filterName,
                                            const QString& password)
{
    const std::shared_ptr<OfficeSessionPrivate> office = servingSession(session, *d);
    if (!office)
        return OfficeResult<bool>::failure(QLatin1String(NotServed));
    const rtl::OUString url = fileUrl(path);
    return office->run(
        QStringLiteral("Storing %1").arg(path),
        [component = d->component, url, filterName, password] {
            const beans::PropertyValue filter =
                property(QStringLiteral("FilterName"), uno::Any(toOUString(filterName)));
            const beans::PropertyValue overwrite =
                property(QStringLiteral("Overwrite"), uno::Any(true));
            const auto arguments = password.isEmpty()
                ? properties({filter, overwrite})
                : properties(
                    {filter, overwrite,
                     property(QStringLiteral("Password"), uno::Any(toOUString(password)))});
            const uno::Reference<frame::XStorable> storable(component, uno::UNO_QUERY_THROW);
            storable->storeToURL(url, arguments);
        });
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
        // A document the office cannot close goes with the office process.
        static_cast<void>(
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
            }));
    }
    component.clear();
}
