// Measures whether more than an interval passed between two moments: the device connection uses
// it to tell a password refused by a dropped connection from a connection lost later.
#pragma once

#include <QtGlobal>

#include <functional>

class TTimeState {
public:
    // Milliseconds of a monotonic clock.
    using TClock = std::function<qint64()>;

    explicit TTimeState(int AInterval, TClock AClock = {});

    // Start(true) marks the first moment (State becomes true); Start(false) marks the second and
    // sets State to whether more than the interval lies between them (exactly the interval is not
    // more).
    void Start(bool AValue);
    bool State() const { return FState; }

    int Interval() const { return FInterval; }
    void setInterval(int AMs) { FInterval = AMs; }
    void setClock(TClock AClock);

private:
    TClock FClock;
    qint64 FT1 = 0;
    qint64 FT2 = 0;
    int FInterval;
    bool FState = true;
};
