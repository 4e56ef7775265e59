#include "base/tvevent.h"

#include "base/strutil.h"

namespace {

tvEventSource* g_source = nullptr;

constexpr unsigned kPollIntervalMs = 100;

} // namespace

tvEventSource* SetEventSource(tvEventSource* source) {
    tvEventSource* previous = g_source;
    g_source = source;
    return previous;
}

int tvEvent::PollKey() {
    return g_source ? g_source->PollKey(*this) : 0;
}

int tvEvent::PollMouse() {
    return g_source ? g_source->PollMouse(*this) : 0;
}

void tvEvent::Clear() {
    type = key = mouseX = mouseY = buttons = extra1 = extra2 = 0;
}

int WaitEvent(tvEvent& event) {
    event.Clear();
    while (!event.PollKey() && !event.PollMouse()) SleepMs(kPollIntervalMs);
    return event.type;
}

int GetKey() {
    tvEvent event;
    while (WaitEvent(event) != EventKey) {
    }
    return event.key;
}
