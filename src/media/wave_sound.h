// Plays a WAV file through SDL2 audio without waiting for it (the completion sound).
#pragma once

#include <string>

// Starts playing the WAV file at APath and returns at once; the sound plays to its end on a
// thread of its own. A new call waits for nothing: it ends a sound still playing first.
// Returns false when the file is missing or cannot be read or no audio device opens (then
// nothing plays).
bool PlayWaveAsync(const std::string& APath);

// Stops a sound still playing and waits for its thread (also done at process exit).
void StopWave();
