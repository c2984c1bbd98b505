#include "CompactSpinBoxStyle.h"

#include <QSpinBox>
#include <QStyleOptionSpinBox>

namespace {

constexpr int ButtonWidth = 7;
// QLineEdit keeps this margin on each side of its text.
constexpr int LineEditMargin = 2;
constexpr qreal SmallestPointSize = 6;

} // namespace

CompactSpinBoxStyle::CompactSpinBoxStyle(QObject* parent)
{
    setParent(parent);
}

QRect CompactSpinBoxStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                          SubControl subControl, const QWidget* widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
    if (control != CC_SpinBox)
        return rect;
    const QRect up = QProxyStyle::subControlRect(control, option, SC_SpinBoxUp, widget);
    const int spare = qMax(0, up.width() - ButtonWidth);
    if (subControl == SC_SpinBoxUp || subControl == SC_SpinBoxDown)
        rect.setLeft(rect.left() + spare);
    else if (subControl == SC_SpinBoxEditField)
        rect.setRight(rect.right() + spare);
    return rect;
}

void CompactSpinBoxStyle::apply(QSpinBox* spin)
{
    spin->setStyle(this);
    // A style sheet may set the font; it does so when the widget is polished.
    spin->ensurePolished();
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.frame = spin->hasFrame();
    option.buttonSymbols = spin->buttonSymbols();
    option.subControls = SC_SpinBoxFrame | SC_SpinBoxEditField | SC_SpinBoxUp | SC_SpinBoxDown;
    const int room =
        subControlRect(CC_SpinBox, &option, SC_SpinBoxEditField, spin).width() - 2 * LineEditMargin;
    const QString widest = QString::number(spin->maximum());
    QFont font = spin->font();
    const qreal size = font.pointSizeF();
    while (QFontMetrics(font, spin).horizontalAdvance(widest) > room
           && font.pointSizeF() - 0.5 >= SmallestPointSize)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    // As a style sheet, which outranks the window's own and reaches the inner line edit.
    if (font.pointSizeF() < size)
        spin->setStyleSheet(QStringLiteral("font-size: %1pt;").arg(font.pointSizeF()));
}
