#pragma once

#include <QString>

// A raw pseudo-terminal: the console (or a plain reader) uses the slave, the bench plays the module
// on the master. Both ends stay open for the life of the object, and both block on read and write.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    int master() const { return m_master; }
    int slave() const { return m_slave; }
    QString slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
