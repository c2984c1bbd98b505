#pragma once

#include "DesktopOpener.h"

#include <QDialog>

#include <memory>

namespace Ui {
class AboutDialog;
}

// Logo, product name and version, support address.
class AboutDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(AboutDialog)

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

private:
    std::unique_ptr<Ui::AboutDialog> ui;
    DesktopOpener opener; // the support address
};
