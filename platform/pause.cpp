#include "platform/pause.h"

#include <thread>

void BlockingPause::pause(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}
