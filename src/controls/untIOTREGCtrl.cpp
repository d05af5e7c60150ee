#include "untIOTREGCtrl.h"

#include "untFonts.h"

#include <QLabel>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {
const QString NoValue = QStringLiteral("--");

QLocale NumberLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}
} // namespace

TNEV_IOTREGCtrl::TNEV_IOTREGCtrl(QWidget* parent)
    : TNEV_IOTCtrlCell(parent, TIOTYPE::IO_REG),
      FImg_Value(AddPlainImage(QStringLiteral("PWMText_N"), QRect(BackLeft + BackWidth - 104, 37, 88, 30))),
      FLbl_Value(new QLabel(FImg_Value)) {
    FLbl_Value->setGeometry(FImg_Value->rect());
    FLbl_Value->setAlignment(Qt::AlignCenter);
    QFont font = FLbl_Value->font();
    font.setFamily(AppFontFamily);
    font.setPixelSize(14);
    font.setBold(true);
    FLbl_Value->setFont(font);
    FLbl_Value->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    FLbl_Value->setText(QStringLiteral("0"));
}

QString TNEV_IOTREGCtrl::FormatREG(float value) {
    if (!std::isfinite(value))
        return NoValue;
    // Huge readings in exponent form so that they still fit the value box.
    if (std::fabs(value) >= 1e7f)
        return NumberLocale().toString(double(value), 'e', 1);
    return NumberLocale().toString(double(value), 'f', 1);
}

void TNEV_IOTREGCtrl::SetREG(float value) {
    FLbl_Value->setText(FormatREG(value));
}

QString TNEV_IOTREGCtrl::REGText() const {
    return FLbl_Value->text();
}

double TNEV_IOTREGCtrl::REG() const {
    bool ok = false;
    const double value = NumberLocale().toDouble(FLbl_Value->text(), &ok);
    return ok ? value : std::numeric_limits<double>::quiet_NaN();
}
