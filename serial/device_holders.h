#pragma once

#include "serial/device_facts.h"

// The programs on this machine that have any of these devices open, found through /proc in one pass
// over its processes: a link per open file, read without opening anything. This user's processes
// are seen; those of other users (root's system services among them) only by name, in
// unseenPrograms. Elsewhere than on Linux nothing is found.
DeviceHolders findDeviceHolders(const QStringList &devicePaths);
