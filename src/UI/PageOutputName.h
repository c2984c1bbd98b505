#pragma once

#include "job/ThumbJob.h"

#include <QObject>
#include <QStringList>

#include <functional>

struct JobOptions;

namespace Ui {
class MainWindow;
}

// Drives the output names page: the output folder or the sources' own, the name template
// with its token buttons, and the name the first source will get.
class PageOutputName : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PageOutputName)

public:
    // The job as the pages hold it now.
    using JobSource = std::function<ThumbJob()>;

    explicit PageOutputName(QObject* parent = nullptr);

    void setup(Ui::MainWindow* form, JobSource jobSource);
    // Shows the folder choice, the template and the update choice of `options`.
    void load(const JobOptions& options);
    // Writes the shown folder choice, template and update choice into `options`.
    void store(JobOptions& options) const;
    // Why the page cannot be left, one text per reason; empty when it can.
    QStringList problems() const;
    // Makes the output folder unless thumbnails go beside their sources; why it could not
    // be made, or empty.
    QString prepareOutputFolder() const;
    // The page is shown: finds the first source again, as the selection, the types or the
    // formats may have changed.
    void pageShown();
    // Why the template cannot name the first source's thumbnails, or empty.
    QString nameProblem() const;

    // Puts "[word]" at the cursor of the template, replacing any selection.
    void insertTemplateToken(const QString& word);
    void resetTemplate();
    // Asks for the output folder; cancelling empties the field.
    void chooseOutputFolder();
    void useFileFolderChanged(int state);
    // A template that reads the clock never names a thumbnail the same way twice: no update.
    void templateChanged(const QString& text);

private:
    void showFirstName();

    Ui::MainWindow* ui = nullptr;
    JobSource job;
    QString firstSource;
};
