#include "base/consolevideo.h"

#include <memory>
#include <new>
#include <utility>

#include "base/tvcursesvideo.h"

namespace {

struct ConsoleState {
    std::unique_ptr<tvTextVideo> video;
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
    std::unique_ptr<tvTextVideo> video(new (std::nothrow) tvCursesVideo);
    if (!video) {
        CloseConsoleVideo();
        return -1;
    }
    video->SetAttribute(3);
    return UseConsoleVideo(std::move(video));
}

int UseConsoleVideo(std::unique_ptr<tvTextVideo> video) {
    CloseConsoleVideo();
    if (!video) return -1;
    State().video = std::move(video);
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
