// Repairing a WAV file whose header sizes disagree with its length: what a
// recording cut off by a crash, a power cut or kill -9 leaves behind.
//
// The file is never truncated and no sample byte is moved: only the RIFF
// size and the "data" size are rewritten (the ds64 sizes of an RF64 file),
// the data size being the bytes from the start of the samples to the end of
// the file, rounded down to whole sample frames. A RIFF file whose sizes no
// longer fit 32 bits becomes RF64 when it has the JUNK chunk the recorder
// reserves for that.
//
// Opening never blocks: anything but a regular file is left alone.
// Any thread; the caller makes sure no one is writing the file.
#pragma once

#include <string>

enum class WaveRepairResult {
    Intact,   // the sizes agree with the file: nothing written
    Repaired, // the sizes were rewritten
    NotWave,  // not a regular file holding a RIFF WAVE "fmt " and "data" chunk
    Failed,   // could not be read or written
};

WaveRepairResult repairWaveFile(const std::string& path);
