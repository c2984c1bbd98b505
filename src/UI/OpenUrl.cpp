#include "OpenUrl.h"

#include "job/Names.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

void openUrlOrWarn(QWidget* parent, const QUrl& url)
{
    if (QDesktopServices::openUrl(url))
        return;
    QMessageBox::warning(
        parent, Names::Product,
        QCoreApplication::translate("OpenUrl",
                                    "Miravel could not open \"%1\": no program to open it "
                                    "was found.")
            .arg(url.toDisplayString()),
        QMessageBox::Ok);
}
