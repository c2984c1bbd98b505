#pragma once

#include "options/JobOptions.h"

#include <QList>
#include <QObject>

class QCheckBox;
class QGroupBox;
class QSpinBox;

namespace Ui {
class MainWindow;
}

// Drives the thumbnail options page: each family's size, aspect and page range, and the
// output format.
class PageThumbOptions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PageThumbOptions)

public:
    explicit PageThumbOptions(QObject* parent = nullptr);

    // Binds the page's widgets and narrows its spin boxes.
    void setup(Ui::MainWindow* form);
    // Shows the option groups and the output format of `options`.
    void load(const JobOptions& options);
    // Writes the shown option groups and output format into `options`.
    void store(JobOptions& options) const;
    ThumbSettings::tOutFormat outputFormat() const;
    // Greys out the option group of a family that cannot be made here.
    void disableFamily(qint32 family);
    // Why a job of these suffixes cannot start: a page range of theirs that runs backwards;
    // or empty.
    QString backwardsRange(const QStringList& extensions) const;

private:
    // The widgets of one file family's options.
    struct FamilyOptions
    {
        qint32 family;
        QString name; // as the file-type list names it
        QGroupBox* group;
        QSpinBox* width;
        QSpinBox* height;
        QSpinBox* pageFrom; // null where the family has no pages
        QSpinBox* pageTo;
        QCheckBox* keepAspectRatio;
    };

    Ui::MainWindow* ui = nullptr;
    QList<FamilyOptions> families;
};
