#pragma once

#include <QObject>
#include <QStringList>

struct JobOptions;

namespace Ui {
class MainWindow;
}

// Drives the output names page: the output folder or the sources' own, and the name template
// with its token buttons.
class PageOutputName : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PageOutputName)

public:
    explicit PageOutputName(QObject* parent = nullptr);

    void setup(Ui::MainWindow* form);
    // Shows the folder choice and the template of `options`.
    void load(const JobOptions& options);
    // Writes the shown folder choice and template into `options`.
    void store(JobOptions& options) const;
    // Why the page cannot be left, one text per reason; empty when it can.
    QStringList problems() const;
    // Makes the output folder unless thumbnails go beside their sources; why it could not
    // be made, or empty.
    QString prepareOutputFolder() const;

    // Puts "[word]" at the cursor of the template, replacing any selection.
    void insertTemplateToken(const QString& word);
    void resetTemplate();
    // Asks for the output folder; cancelling empties the field.
    void chooseOutputFolder();
    void useFileFolderChanged(int state);

private:
    Ui::MainWindow* ui = nullptr;
};
