#include "PlayWave.h"

qint16 PlayWave(const QString &, bool, bool, bool, bool)
{
    return 4;
}
