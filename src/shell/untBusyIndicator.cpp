#include "untBusyIndicator.h"

#include <QPainter>
#include <QVariantAnimation>

namespace {
constexpr int Dots = 12;
}

TBusyIndicator::TBusyIndicator(QWidget* parent) : QWidget(parent), FAnim(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    FAnim->setStartValue(0);
    FAnim->setEndValue(Dots);
    FAnim->setDuration(1000);
    FAnim->setLoopCount(-1);
    connect(FAnim, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const int step = v.toInt() % Dots;
        if (step != FStep) {
            FStep = step;
            update();
        }
    });
}

void TBusyIndicator::SetColor(const QColor& color) {
    FColor = color;
    update();
}

void TBusyIndicator::Start() {
    FRunning = true;
    if (isVisible())
        FAnim->start();
}

void TBusyIndicator::Stop() {
    FRunning = false;
    FAnim->stop();
}

void TBusyIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (FRunning && FAnim->state() != QAbstractAnimation::Running)
        FAnim->start();
}

void TBusyIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FAnim->stop();
}

void TBusyIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    const qreal dot = side / 9.0;
    p.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < Dots; ++i) {
        QColor c = FColor;
        // The dot at the current step is solid; the ones behind it fade out.
        const int age = (FStep - i + Dots) % Dots;
        c.setAlphaF(1.0 - 0.75 * age / double(Dots));
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.save();
        p.rotate(360.0 * i / Dots);
        p.drawEllipse(QPointF(0, -side / 2.0 + dot), dot, dot);
        p.restore();
    }
}
