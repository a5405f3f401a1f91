#include "CHeardClock.h"

#include <algorithm>
#include <cmath>

void CHeardClock::rendered(int64_t at, uint64_t written) {
    ns[next] = at;
    frames[next] = written;
    next = (next + 1) % MARKS;
    count = std::min(count + 1, MARKS);
}

bool CHeardClock::origin(double& out) const {
    if (count == 0) return false;
    // a late render shows fewer frames for its time than a punctual one
    double best = -INFINITY;
    for (int i = 0; i < count; i++)
        best = std::max(best, static_cast<double>(frames[i]) - 1e-9 * rate * static_cast<double>(ns[i]));
    out = best;
    return true;
}

bool CHeardClock::heardAt(int64_t at, int64_t latencyNs, double& frame) const {
    double base;
    if (!origin(base)) return false;
    frame = base + 1e-9 * rate * static_cast<double>(at - latencyNs);
    return true;
}

bool CHeardClock::latencyFor(uint64_t written, int64_t heardNs, int64_t& latencyNs) const {
    double base;
    if (!origin(base)) return false;
    const double punctualNs = (static_cast<double>(written) - base) * 1e9 / rate;
    latencyNs = heardNs - static_cast<int64_t>(std::llround(punctualNs));
    return true;
}

int64_t CHeardClock::windowEnd(double heard, uint64_t written, int window, int kept) {
    const int64_t newest = static_cast<int64_t>(written);
    const int64_t end = static_cast<int64_t>(std::llround(heard)) + window / 2;
    return std::max(std::min(end, newest), newest - kept + window);
}
