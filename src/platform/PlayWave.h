#pragma once

#include <QString>
#include <QtGlobal>

// Plays a WAV file asynchronously, once or in a loop, from the file or from memory.
// Result codes: 0 started (or, synchronous, completed); 1 in-memory playback refused because the
// file is larger than 2 MiB; 2 synchronous and loop both requested; 3 the file cannot be read;
// 4 the sound system refused to play it.
qint16 PlayWave(const QString &fileName, bool synchronous, bool loop, bool inMemory, bool stopFirst);
