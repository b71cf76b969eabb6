#pragma once

#include <QtGlobal>

// The resident memory of this process, in bytes.
class ResidentMemory
{
public:
    static qint64 now();
};
