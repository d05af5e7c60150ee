#include "untTimeState.h"

#include <chrono>

namespace {

qint64 SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TTimeState::TTimeState(int AInterval, TClock AClock) : FInterval(AInterval) {
    setClock(std::move(AClock));
}

void TTimeState::setClock(TClock AClock) {
    FClock = AClock ? std::move(AClock) : TClock(SteadyMs);
}

void TTimeState::Start(bool AValue) {
    if (AValue) {
        FState = true;
        FT1 = FClock();
    } else {
        FT2 = FClock();
        FState = FT2 - FT1 > FInterval;
    }
}
