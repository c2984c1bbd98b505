#include "AboutDialog.h"
#include "ui_AboutDialog.h"

#include "BuildSettings.h"
#include "OpenFailures.h"

#include <QUrl>

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::AboutDialog>())
{
    ui->setupUi(this);
    setFixedSize(size());
    // The form carries a placeholder address; the real one is a build setting.
    QString text = ui->label_2->text();
    text.replace(QStringLiteral("support@miravel.example"),
                 QString::fromUtf8(MIRAVEL_SUPPORT_EMAIL));
    ui->label_2->setText(text);
    warnWhenOpenFails(opener, this);
    connect(ui->label_2, &QLabel::linkActivated, this,
            [this](const QString& link) { opener.open(QUrl(link)); });
}

AboutDialog::~AboutDialog() = default;
