// The console video of the process.
#pragma once

#include <memory>

#include "base/tvtextvideo.h"

// Makes a new console screen (attribute 3) the console video, replacing an
// open one; -1 when it cannot be made (the console then stays silent).
int OpenConsoleVideo();
// Makes video the console video, replacing an open one; -1 for none.
int UseConsoleVideo(std::unique_ptr<tvTextVideo> video);
// Closes the console video; the console is silent until it is opened again.
void CloseConsoleVideo();
// The console video: never null, a silent video before the console is opened
// and after it is closed. Ask again after an open or close rather than keeping
// the reference.
tvTextVideo& ConsoleVideo();
