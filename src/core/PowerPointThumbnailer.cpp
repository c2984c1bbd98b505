#include "PowerPointThumbnailer.h"

#include "OfficeApplication.h"
#include "OfficeAutomationError.h"
#include "OfficeDocument.h"
#include "SharedOffice.h"

#include <QDebug>
#include <QDir>
#include <QImage>
#include <QSaveFile>

namespace {

// The office writes PNG and JPEG at the asked size; BMP it would not size, so a BMP slide
// is written as PNG first and re-encoded.
bool exportSlide(OfficeDocument& presentation, int slide, const QString& path,
                 const QString& filterName, int width, int height, const QString& scratch)
{
    if (filterName == QLatin1String("jpg"))
        return presentation.exportSlide(slide, path, QStringLiteral("image/jpeg"), width, height);
    if (filterName != QLatin1String("bmp"))
        return presentation.exportSlide(slide, path, QStringLiteral("image/png"), width, height);

    if (!presentation.exportSlide(slide, scratch, QStringLiteral("image/png"), width, height))
        return false;
    const QImage image(scratch);
    QFile::remove(scratch);
    QSaveFile bmp(path);
    return !image.isNull() && bmp.open(QIODevice::WriteOnly) && image.save(&bmp, "BMP")
        && bmp.commit();
}

} // namespace

PowerPointThumbnailer::PowerPointThumbnailer(std::shared_ptr<SharedOffice> office)
    : extensions({QStringLiteral("ppt"), QStringLiteral("pptx")})
    , office(std::move(office))
{
}

PowerPointThumbnailer::~PowerPointThumbnailer() = default;

void PowerPointThumbnailer::releaseWorkerResources()
{
    office->release();
}

void PowerPointThumbnailer::abort()
{
    office->abort();
}

std::unique_ptr<OfficeApplication> PowerPointThumbnailer::getPowerPointInstance()
{
    std::unique_ptr<OfficeApplication> powerPoint = OfficeApplication::start(office->session());
    if (!powerPoint) {
        qDebug() << " [ERROR]" << "PowerPointThumbnailer::getPowerPointInstance"
                 << "  Can't create PowerPoint instance";
        return nullptr;
    }
    powerPoint->setVisible(false);
    powerPoint->setDisplayAlerts(false);
    return powerPoint;
}

Thumbnailer::tThumbnailPages PowerPointThumbnailer::generate(QFile& file)
{
    tThumbnailPages pages;
    if (std::unique_ptr<OfficeApplication> powerPoint = getPowerPointInstance()) {
        const QString source = QDir::toNativeSeparators(file.fileName());
        std::unique_ptr<OfficeDocument> presentation;
        try {
            presentation = powerPoint->documents().open(source, OfficeDocument::Kind::Presentation);
        } catch (const OfficeAutomationError&) {
            qDebug() << " [ERROR]" << "PowerPointThumbnailer::generate" << "  ppPresentations->Open"
                     << source;
        }
        if (presentation) {
            const QString filterName = extensionFor(settings.outputFormat);
            const QString scratch = workArea() + QStringLiteral("slide.png");
            if (presentation->slideCount() > 0 && settings.pageStart <= settings.pageEnd) {
                for (qint32 i = settings.pageStart; i <= settings.pageEnd; ++i) {
                    if (i > presentation->slideCount())
                        break;
                    const QString imagePath = QDir::toNativeSeparators(thumbnailPath(file, i));
                    if (i < 1) {
                        qDebug() << " [ERROR]" << "PowerPointThumbnailer::generate" << "  ppSlides->Item("
                                 << i << ")";
                        continue;
                    }
                    if (exportSlide(*presentation, i, imagePath, filterName, settings.width,
                                    settings.height, scratch))
                        pages.insert(i, imagePath);
                    else
                        qDebug() << " [ERROR]" << "PowerPointThumbnailer::generate"
                                 << "ppSlide->Export to" << imagePath;
                }
            }
            presentation->close();
        }
        powerPoint->quit();
    }
    if (pages.isEmpty())
        qDebug() << " [ERROR]" << "PowerPointThumbnailer::generate" << "  pages.count() == 0";
    return pages;
}
