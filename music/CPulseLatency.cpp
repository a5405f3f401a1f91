#include "CPulseLatency.h"

#include "SteadyClock.h"

#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

struct Answer {
    std::mutex lock;
    uint64_t written = 0;
    int64_t heardNs = 0;
    unsigned seq = 0;
};

Answer& answer() {
    static Answer* a = new Answer;  // the thread outlives main
    return *a;
}

struct Question {
    const std::atomic<uint64_t>* written;
    uint64_t before;
    int64_t sentNs;
};

void onSinkInput(pa_context*, const pa_sink_input_info* info, int eol, void* data) {
    if (eol || !info) return;
    const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    if (!pid || std::atol(pid) != static_cast<long>(getpid()) || info->corked) return;
    const Question& q = *static_cast<const Question*>(data);
    const int64_t repliedNs = steadyClockNs();
    // a buffer rendered while the question was out: which frames the answer counts is unclear
    if (q.written->load(std::memory_order_acquire) != q.before) return;
    Answer& a = answer();
    std::lock_guard<std::mutex> hold(a.lock);
    a.written = q.before;
    a.heardNs = (q.sentNs + repliedNs) / 2 + 1000 * static_cast<int64_t>(info->buffer_usec + info->sink_usec);
    a.seq++;
}

// One connection, asked until it breaks.
void askWhileConnected(const std::atomic<uint64_t>* written, const std::atomic<int64_t>* wantedNs) {
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) return;
    pa_context* ctx = pa_context_new(pa_mainloop_get_api(loop), "chipdisk");
    if (ctx && pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        pa_context_state_t state;
        while ((state = pa_context_get_state(ctx)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state))
            if (pa_mainloop_iterate(loop, 1, nullptr) < 0) break;
        while (pa_context_get_state(ctx) == PA_CONTEXT_READY) {
            if (steadyClockNs() - wantedNs->load(std::memory_order_relaxed) > 1000000000LL) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                pa_mainloop_iterate(loop, 0, nullptr);  // notices a server gone meanwhile
                continue;
            }
            Question q{written, written->load(std::memory_order_acquire), steadyClockNs()};
            pa_operation* op = pa_context_get_sink_input_info_list(ctx, onSinkInput, &q);
            if (!op) break;
            while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
                if (pa_mainloop_iterate(loop, 1, nullptr) < 0) break;
            pa_operation_unref(op);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        pa_context_disconnect(ctx);
    }
    if (ctx) pa_context_unref(ctx);
    pa_mainloop_free(loop);
}

}  // namespace

void CPulseLatency::start(const std::atomic<uint64_t>* written, const std::atomic<int64_t>* wantedNs) {
    std::thread([written, wantedNs] {
        for (;;) {
            askWhileConnected(written, wantedNs);
            std::this_thread::sleep_for(std::chrono::seconds(2));
        }
    }).detach();
}

bool CPulseLatency::latest(uint64_t& written, int64_t& heardNs, unsigned& seq) {
    Answer& a = answer();
    std::lock_guard<std::mutex> hold(a.lock);
    if (a.seq == 0) return false;
    written = a.written;
    heardNs = a.heardNs;
    seq = a.seq;
    return true;
}
