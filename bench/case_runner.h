#pragma once

#include <QString>

// Runs one named case in this process and prints its figures on standard output.
class CaseRunner
{
public:
    static bool exists(const QString &name);
    static int run(const QString &name);
};
