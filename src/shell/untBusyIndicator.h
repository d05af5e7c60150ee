// An activity indicator: a ring of dots turning while something runs in the background. It turns
// only while started and visible, driven by an animation (no timer of its own).
#pragma once

#include <QColor>
#include <QWidget>

class QVariantAnimation;

class TBusyIndicator : public QWidget {
    Q_OBJECT

public:
    explicit TBusyIndicator(QWidget* parent = nullptr);
    void SetColor(const QColor& color);
    void Start();
    void Stop();
    bool Running() const { return FRunning; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QVariantAnimation* FAnim;
    QColor FColor = Qt::white;
    int FStep = 0;
    bool FRunning = false;
};
