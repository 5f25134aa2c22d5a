#include "memoryheadroom.h"

// Elsewhere no limit is read, so none refuses a conversion.
std::optional<qint64> memoryHeadroom()
{
    return std::nullopt;
}
