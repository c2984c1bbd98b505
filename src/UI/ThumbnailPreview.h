#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

// One thumbnail at its real size, scaled down only to fit the pane, with its pixel size,
// format and file size below it.
class ThumbnailPreview : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(ThumbnailPreview)

public:
    explicit ThumbnailPreview(QWidget* parent = nullptr);

    void showFile(const QString& path);
    void clear();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    QLabel* picture;
    QLabel* details;
    QImage image;
};
