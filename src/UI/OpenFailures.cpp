#include "OpenFailures.h"

#include "DesktopOpener.h"
#include "job/Names.h"

#include <QCoreApplication>
#include <QMessageBox>

void warnWhenOpenFails(DesktopOpener& opener, QWidget* parent)
{
    QObject::connect(
        &opener, &DesktopOpener::failed, parent,
        [parent](const QString& target, const QString& reason) {
            QMessageBox::warning(
                parent, Names::Product,
                QCoreApplication::translate("OpenFailures", "Miravel could not open \"%1\": %2.")
                    .arg(target, reason),
                QMessageBox::Ok);
        });
}
