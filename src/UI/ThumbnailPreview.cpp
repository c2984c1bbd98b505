#include "ThumbnailPreview.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

ThumbnailPreview::ThumbnailPreview(QWidget* parent)
    : QWidget(parent)
    , picture(new QLabel(this))
    , details(new QLabel(this))
{
    picture->setObjectName(QStringLiteral("lblPreviewPicture"));
    details->setObjectName(QStringLiteral("lblPreviewDetails"));
    // The picture follows the pane's size, never the other way round.
    picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    picture->setAlignment(Qt::AlignCenter);
    picture->setMinimumSize(48, 48);
    details->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    details->setWordWrap(true);
    details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->addWidget(picture, 1);
    layout->addWidget(details);
    clear();
}

void ThumbnailPreview::showFile(const QString& path)
{
    QImageReader reader(path);
    const QString format = QString::fromLatin1(reader.format().toUpper()); // gone once read
    image = reader.read();
    if (image.isNull()) {
        details->setText(tr("%1 is gone or cannot be read.").arg(QFileInfo(path).fileName()));
    } else {
        details->setText(tr("%1 x %2 pixels, %3, %4")
                             .arg(image.width())
                             .arg(image.height())
                             .arg(format,
                                  QLocale().formattedDataSize(QFileInfo(path).size(), 1,
                                                              QLocale::DataSizeTraditionalFormat)));
    }
    fit();
}

void ThumbnailPreview::clear()
{
    image = QImage();
    details->setText(tr("Select a thumbnail to see it here."));
    fit();
}

void ThumbnailPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fit();
}

void ThumbnailPreview::fit()
{
    const QSize room = picture->contentsRect().size();
    if (image.width() <= room.width() && image.height() <= room.height())
        picture->setPixmap(QPixmap::fromImage(image));
    else
        picture->setPixmap(
            QPixmap::fromImage(image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}
