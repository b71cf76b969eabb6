#pragma once

#include "figures.h"

#include <QStringList>

// Runs every case (or those named) in a fresh child process of this program, so that each starts
// from an idle process, takes medians over repeated runs and prints every figure against its target.
class BenchDriver
{
public:
    BenchDriver(QString program, QStringList onlyCases);
    int run();
    // Each flood case once: 0 when every byte reached its box in order, 1 otherwise.
    int checkFloods() const;

private:
    Figures runCase(const QString &name, int runs) const;
    Figures runChild(const QString &name) const;
    bool wanted(const QString &name) const;

    QString m_program;
    QStringList m_onlyCases;
};
