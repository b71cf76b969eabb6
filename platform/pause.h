#pragma once

#include <chrono>

// A pause that blocks the calling thread without running the event loop, so nothing the window
// would otherwise do (receive, another click) can slip in while it lasts.
class Pause
{
public:
    virtual ~Pause() = default;
    virtual void pause(std::chrono::milliseconds duration) = 0;
};

class BlockingPause final : public Pause
{
public:
    void pause(std::chrono::milliseconds duration) override;
};
