#include "base/consolevideo.h"

#include <memory>
#include <new>

#include "base/tvcursesvideo.h"

namespace {

struct ConsoleState {
    std::unique_ptr<tvCursesVideo> video;
    tvTextVideo silent;
};

// Never destroyed: log lines written from exit handlers still find a console.
union ConsoleHolder {
    ConsoleState state;
    ConsoleHolder() : state() {}
    ~ConsoleHolder() {}
};

ConsoleState& State() {
    static ConsoleHolder holder;
    return holder.state;
}

} // namespace

int OpenConsoleVideo() {
    ConsoleState& state = State();
    CloseConsoleVideo();
    state.video.reset(new (std::nothrow) tvCursesVideo);
    if (!state.video) return -1;
    state.video->SetAttribute(3);
    return 0;
}

void CloseConsoleVideo() {
    ConsoleState& state = State();
    if (!state.video) return;
    state.video->OnClose();
    state.video.reset();
}

tvTextVideo& ConsoleVideo() {
    ConsoleState& state = State();
    if (state.video) return *state.video;
    return state.silent;
}
