#pragma once

#include <QProxyStyle>

class QSpinBox;

// The platform's spin box with narrow arrow buttons, so that a small box keeps room for its
// digits.
class CompactSpinBoxStyle : public QProxyStyle
{
    Q_OBJECT
    Q_DISABLE_COPY(CompactSpinBoxStyle)

public:
    explicit CompactSpinBoxStyle(QObject* parent);

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                         SubControl subControl, const QWidget* widget) const override;

    // Gives `spin` this style and, if its largest value still does not fit, a font small
    // enough for it.
    void apply(QSpinBox* spin);
};
